#pragma once
// The new-task wizard "Backup wizard": five pages that ask where to back up, what, how and when,
// answered as one TBackupTask. The wizard writes no file; the editor takes the answers over.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "backup/Wizard.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimeEdit;

// What the wizard asks of its caller: the task file's name (false when cancelled) and a free slot of
// the automatic tasks (-1 when none is free). Without FreeAutoTask the schedule page is not offered.
struct TWizardServices
{
    std::function<bool(std::string&)> SelectSaveName;
    std::function<int()> FreeAutoTask;
    // The folder chooser; replaceable (tests). Empty: the program's folder chooser.
    std::function<bool(const std::string& title, const std::string& start, std::string& folder)> ChooseFolder;
};

class TWizardDialog : public QDialog
{
    Q_OBJECT
public:
    TWizardDialog(TWizardServices services, QWidget* parent = nullptr);
    // 6 done (BuTa filled), 7 configure the task in the editor, 2 cancelled.
    int Execute(TBackupTask& BuTa);

    // The user folders of page 3: caption and folder ("" when the system has none).
    struct TUserFolder
    {
        std::string Caption;
        std::string Folder;
    };
    static std::vector<TUserFolder> UserFolders();
    // Shows page 0..4 with its buttons.
    void ShowPage(int page);

    // Pages, in their order.
    QStackedWidget* pcWizard;
    QPushButton* btnStart;
    QPushButton* btnConfigure;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnDone;
    QPushButton* btnCancel;
    QRadioButton* rbLocal;
    QRadioButton* rbFtp;
    QLineEdit* edTargetDir;
    QPushButton* btnTargetDir;
    QPushButton* btnPlaceholder;
    QPushButton* btnVolume;
    QLineEdit* edFtp;
    QPushButton* btnFtpSettings;
    QListWidget* lbDirs;
    QPushButton* btnAddDir;
    QPushButton* btnAddUser;
    QPushButton* btnRemove;
    std::vector<QCheckBox*> cbFolders;
    QRadioButton* rbFiles;
    QRadioButton* rbZip;
    QComboBox* cbFileMethod;
    QComboBox* cbProcessing;
    QComboBox* cbZipMethod;
    QLineEdit* edZipName;
    QPushButton* btnZipPh;
    QCheckBox* cbVerify;
    QCheckBox* cbEncrypt;
    QRadioButton* rbNoSchedule;
    QRadioButton* rbSchedule;
    QComboBox* cbStartKind;
    QLabel* laTime;
    QTimeEdit* teTime;
    std::vector<QCheckBox*> cbDays;
    QCheckBox* cbResume;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void NextClick();
    void DoneClick();
    void ChooseTarget();
    void InsertPlaceholder();
    void SwitchVolume();
    void FtpChoice(bool ftp);
    void AddDirectory();
    void AddUserFolders();
    void RemoveDirectories();
    void AddDir(const std::string& dir);
    void UpdateMethodControls();
    void ScheduleChoice(bool on);
    void StartKindChanged();
    std::vector<std::string> Dirs() const;
    bool AskFolder(const std::string& title, const std::string& start, std::string& folder);
    TWizardServices FServices;
    TFtpParams FtpPar;
    std::string LastPath;
    std::string Pwd;
    int AtNr = -1;
    TBackupTask* FTask = nullptr;
};

// Runs the wizard on BuTa; its modal result (6, 7 or 2).
int ExecuteBackupWizard(TBackupTask& BuTa, TWizardServices services, QWidget* parent = nullptr);
