#pragma once
// "Clean up backup directory": the editor of cleanup tasks, which also starts their runs.

#include <functional>
#include <string>

#include "backup/gui/TaskDialogBase.h"
#include "tools/Cleanup.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

class TCleanUpDialog : public TTaskDialogBase
{
public:
    explicit TCleanUpDialog(QWidget* parent = nullptr);

    TCleanupSettings Settings;
    std::string CJobName;
    TEditStatus EditStatus = esSaved;
    bool LoadedTask = false;

    void ShowSettings();
    void Apply();
    // False when the switch to FTP was refused (the FTP settings dialog was cancelled).
    bool SetFtpMode(bool ftp);
    void SetAgeMode(int mode, bool noChange);
    void SetSubject(int subject);
    void UpdateSubjectControls();
    void SetEditStatus(TEditStatus status);
    bool LoadTask(const std::string& fileName);
    bool SaveTask(const std::string& fileName);
    int AskSaveTask();

    // Replaceable for tests: the FTP settings dialog, the type list editor (comma text in and out),
    // the chooser of a task file to save under, and the run of the current settings.
    static std::function<bool(TFtpParams&)> EditFtp;
    static std::function<bool(std::string&)> EditTypeList;
    static std::function<std::string(const std::string& title, const std::string& file)> ChooseSaveFile;
    std::function<void(TCleanUpDialog&)> StartRun;

protected:
    void done(int result) override;

private:
    void TypesClicked(int mode);
    void SaveClick();
    void StartClick();
    void ShowSyncPage();

    TCleanupSettings FSaved;
    bool FUpdating = false;
    QRadioButton *rbDir, *rbFtp, *rbFiles, *rbDirs, *rbBakFiles;
    QStackedWidget* pcSource;
    QComboBox* cbDir;
    QLineEdit* edtFtp;
    QPushButton *btBackupDir, *btFtp;
    QGroupBox *gbFilter, *gbTypes, *gbSync, *gbSecOptions, *gbBakFiles, *gbTimeSlot, *gbOptions;
    QLabel* FilterText;
    QPushButton* FilterBtn;
    QRadioButton *rbAllTypes, *cbIncludeTypes, *cbExcludeTypes;
    QLineEdit* TypenEdit;
    QPushButton* TypenBtn;
    QCheckBox *UnPackCB, *cbHasCrypt;
    QRadioButton *rbNoSync, *rbSyncOrigin, *rbSyncSelect;
    QStackedWidget* pcSync;
    QComboBox* cbSyncDir;
    QPushButton* bbtDriveId;
    QCheckBox* cbDelVol;
    QLineEdit* edVolSize;
    QCheckBox* cxSecOptions;
    QSpinBox* reSecCount;
    QRadioButton *rbSecWeeks, *rbSecMonths, *rbSecYears;
    QLabel *laBakSec, *lasyncSec;
    QRadioButton *rbAll, *rbOlder, *rbBefore, *rbSince;
    QSpinBox* reCount;
    QComboBox* cbTimeUnits;
    QDateEdit* dpDate;
    QCheckBox *cbEmptyDirs, *cbEmptyRoot, *RecycleCB, *cbMail;
    QPushButton *btnLog, *LoadBtn, *SaveBtn, *SaveAsBtn, *btnSchedTask, *StartBtn, *btnBack;
};
