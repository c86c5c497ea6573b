#pragma once
// The dialog "FTP connection settings" of a task: server, login, remote directory, TLS, options,
// time-outs, name handling, proxy and the check of the server certificate.

#include <QPoint>
#include <string>

#include "archive/FtpUtils.h"
#include "backup/BuFtpDlg.h"
#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class THistoryCombo;
class TNumUpDown;
class TRangeEdit;

class TFtpDialog : public TDialogBase
{
public:
    explicit TFtpDialog(QWidget* parent = nullptr);
    // Loads the history lists (only the first call counts).
    void Init(const std::string& AIniName);
    // APage: 0 general, 1 advanced, 2 certificate. True on OK; AFtpPar then holds the edited values.
    bool Execute(TFtpParams& AFtpPar, bool Backup, int APage);
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildGeneralPage();
    QWidget* BuildAdvancedPage();
    QWidget* BuildCertificatePage();
    void ShowPassword();
    void PortChanged();
    void SecureChosen(int index);
    void PasswordClick();
    void PlaceholderClick();
    void DirClick();
    void OffsetClick(bool checked);
    void ProxyClick(bool fromCheckBox);
    void ShowProxy();
    void UpdateCertControls();
    void PasteFingerprint();
    void EditHistory();

    QStackedWidget* pcSettings;
    THistoryCombo* edServer;
    THistoryCombo* edUsername;
    QLineEdit* edtFtpPwd;
    QPushButton* bbPassword;
    TRangeEdit* edtPort;
    THistoryCombo* edDir;
    QPushButton* btnPhDir;
    QPushButton* btnDir;
    QComboBox* cbSecure;
    QPushButton* btnSecurity;
    QPushButton* btnAdvanced;
    QTabWidget* pcOptions;
    QCheckBox* cbPassive;
    QCheckBox* cbUseIPv6;
    QCheckBox* cbUtf8;
    QCheckBox* cbUseHost;
    QCheckBox* cbOpts;
    QCheckBox* cbExtensions;
    QCheckBox* cbOffset;
    TRangeEdit* edOffset;
    TNumUpDown* udOffset;
    QLabel* lbOffset;
    QLabel* lbChangeTo;
    QCheckBox* cbLower;
    QCheckBox* cbUpper;
    QCheckBox* cbQuotes;
    QLineEdit* edInvalid;
    TRangeEdit* reConnTimeout;
    TRangeEdit* reConnect;
    TNumUpDown* udConnect;
    TRangeEdit* reRespTimeout;
    QCheckBox* cbAlive;
    QCheckBox* cbProxy;
    QLineEdit* edProxy;
    QPushButton* btProxy;
    QPushButton* btnGeneral;
    QCheckBox* cbCertVerify;
    QRadioButton* rbConfirm;
    QRadioButton* rbCompare;
    QLabel* lbFingerprint;
    QLineEdit* edFingerprint;
    QPushButton* btnGetFp;
    QPushButton* btnGeneral1;
    QCheckBox* cbFtpLog;
    QMenu* pmHistList;
    THistoryCombo* FMenuCombo = nullptr;

    std::string FIniName;
    std::string FtpPwd;
    int fSecureMode = 0;
    bool FBackup = true;
    TFtpProxyParams FProxyPar;
};

// Runs the dialog on a copy of AFtpPar with the histories of the settings file; true on OK.
bool ShowFtpDialog(TFtpParams& AFtpPar, bool Backup, int APage);
