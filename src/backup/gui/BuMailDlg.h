#pragma once
// "E-Mail configuration": the mail-report settings of a task, with a test mail.

#include <string>

#include "backup/BuMailDlg.h"
#include "backup/gui/TaskDialogBase.h"
#include "foundation/HListBox.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class THistoryCombo;
class TRangeEdit;
class TmMailer;

class TMailDialog : public TTaskDialogBase
{
public:
    explicit TMailDialog(QWidget* parent = nullptr);
    // Writes the address book back and lets the history combos save their lists.
    ~TMailDialog() override;
    // Only once, and only for a non-empty name: loads the histories and the address book.
    void Init(const std::string& AIniName);
    bool Execute(TmMailer* AMailer, const std::string& ATask, TMailData& AMailDat, TMailMode& AMode);
    void accept() override;
    // The settings as the controls show them.
    TMailData Collected() const;
    // Refuses settings that cannot send a mail, with the message and the focus on the field; true when
    // they pass.
    bool CheckSettings();
    const TStringList& AddressBook() const { return hl; }

private:
    QListWidgetItem* AddRecipientItem(const std::string& address, int state);
    void PasswordClick();
    void SecureChosen(int index);
    void AddRecClick();
    void RemRecClick();
    void EditRecClick();
    void AddAttClick();
    void RemAttClick();
    void EditAttClick();
    void PhSubjectClick();
    void ZipChosen(int choice);
    void LogChoiceChanged();
    void EditListClick(QComboBox* combo);
    void TestClick();
    void ShowPassword();
    bool AttachmentLimitReached();
    QLabel* lbTask;
    THistoryCombo* edServer;
    TRangeEdit* edPort;
    THistoryCombo* edUsername;
    QLineEdit* edtSmtpPwd;
    QPushButton* bbPassword;
    QComboBox* cbSecure;
    QComboBox* edSender;
    QComboBox* edReply;
    QListWidget* lbRecipients;
    QPushButton* btnAddRec;
    QPushButton* btnRemRec;
    QPushButton* btnEditRec;
    THistoryCombo* edSubject;
    QPushButton* btnPhSubject;
    QGroupBox* gbLog;
    QRadioButton* rbLogAlways;
    QRadioButton* rbLogError;
    QRadioButton* rbLogNever;
    QGroupBox* rgZip;
    QRadioButton* rbZip[3];
    QListWidget* lbAttach;
    QPushButton* btnAddAtt;
    QPushButton* btnRemAtt;
    QPushButton* btnEditAtt;
    QRadioButton* rbNever;
    QRadioButton* rbError;
    QRadioButton* rbAlways;
    QPushButton* btnTest;
    std::string FIniName;
    std::string Action;
    std::string CryptPwd;
    std::string MailPwd;
    THistoryList hl;
    TSecTransfer fSecureMode = stNone;
    TmMailer* fMailer = nullptr;
    int FZipChoice = 0;
    bool FFilling = false;
};

bool ShowMailDialog(TmMailer* AMailer, const std::string& ATask, TMailData& AMailDat, TMailMode& AMode);
