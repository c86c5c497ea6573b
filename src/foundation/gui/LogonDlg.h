#pragma once
// Asking for a user name (with a history of earlier names) and a password.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TLogonDialog : public TDialogBase
{
public:
    explicit TLogonDialog(QWidget* parent = nullptr);
    // Saves the name history when LoadFromIni named a file and a section.
    ~TLogonDialog() override;
    // mrOk, mrCancel or mrIgnore (Skip; also Esc when Skip is shown).
    TModalResult Execute(const std::string& Titel, const std::string& Hinweis, bool ShowSkip,
                         std::string& User, std::string& Pwd);
    void LoadFromIni(const std::string& IniName, const std::string& IniSection);

protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* cbName;
    QLineEdit* PwdEdit;
    QLabel* laHinweis;
    QPushButton* btnSkip;
    std::string FIniName;
    std::string FSection;
};

TModalResult AskLogon(const std::string& Titel, const std::string& Hinweis, bool ShowSkip, std::string& User,
                      std::string& Pwd);
