#pragma once
// Asking whether to trust the certificate an FTPS server presented, and the run's interaction with
// that question added.

#include <string>

#include "archive/FtpUtils.h"
#include "backup/gui/DialogInteraction.h"
#include "foundation/gui/GuiUtils.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TSpotIndicator;

class TConfirmCertDialog : public TDialogBase
{
public:
    explicit TConfirmCertDialog(QWidget* parent = nullptr);
    // True for "Yes".
    bool Execute(const TCerticateInfo& ACertInfo);
    // Fills the controls (Execute does it before showing).
    void ShowCertificate(const TCerticateInfo& ACertInfo);

private:
    void CopyFingerprint();
    QLineEdit* leServer;
    QLineEdit* leVersion;
    QLineEdit* leSerial;
    QPlainTextEdit* meIssuer;
    QLineEdit* leValid;
    TSpotIndicator* siValid;
    QLineEdit* leFingerprint;
    QPushButton* btnCopyFp;
};

// Shown on the program's main thread, also when a run on another thread asks.
bool ShowConfirmCertDialog(const TCerticateInfo& ACertInfo);

// The issuer as the dialog shows it: one component of the distinguished name per line.
std::string IssuerLines(const std::string& Issuer);

// The questions of a run answered by the program's dialogs, the server certificate included. A run
// installs it as the connection's certificate check when the task asks the user.
class TBackupDialogInteraction : public TDialogInteraction
{
public:
    bool ConfirmCertificate(const TCerticateInfo& cert) override;
};
