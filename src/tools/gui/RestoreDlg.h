#pragma once
// The restore dialog: edits a restore task (source, layout, destination, options, age selection,
// overwrite rules, security copies, filter) and hands it to a run. Task files are loaded and saved
// here; the run itself goes to the handler that the program installs (StartHandler).

#include <functional>
#include <string>

#include "backup/EngineInterfaces.h"
#include "foundation/gui/GuiUtils.h"
#include "tools/RestoreTask.h"

class QButtonGroup;
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

class TRestoreDialog : public TDialogBase
{
public:
    explicit TRestoreDialog(QWidget* parent = nullptr);

    // Shows a task in the controls, and reads the controls into one.
    void SetTask(const TRestoreTask& task);
    void GetTask(TRestoreTask& task) const;
    // Loads or saves a task file (errors are shown); true on success.
    bool LoadTask(const std::string& fileName);
    bool SaveTask(const std::string& fileName);
    // The checks and the handler call of "Start".
    void StartClick();

    // The run of a task: set by the program. Without one, "Start" shows what is missing.
    std::function<TBuResult(const TRestoreTask& task, const std::string& taskFile)> StartHandler;

    const std::string& TaskFile() const { return RJobName; }
    TEditStatus EditStatus = esNew;

private:
    void SetRestoreMode(int mode);
    void SetAgeMode(int mode);
    int AgeMode() const;
    void SetFtpSource(bool on);
    void UpdateOptionControls();
    void ShowSecSettings();
    void Changed();
    static std::string EngineFsDir(const std::string& path);

    TRestoreTask FTask; // what the controls do not show
    std::string RJobName;
    bool FUpdating = false;

    QRadioButton *rbLocal, *rbFtp, *rbSingle, *rbFolderZip, *rbZip, *rbtOrigin, *rbtSelect;
    QComboBox* cbSource;
    QPushButton *btSource, *btFtp, *btDest, *bbtDriveId;
    QLineEdit* edtFtp;
    QStackedWidget *pcSource, *pcDest, *pcDate;
    QComboBox* cbDest;
    QCheckBox *GzUnPackCB, *ZipUnpackCB, *cbDecrypt, *cbEmptyDirs, *cbResArchive, *cbSync;
    QCheckBox *cbCreationTime, *cbPerms, *cbSummary, *cbJunctions, *cbAltStreams;
    QRadioButton *rbAll, *rbOlder, *rbNewer, *rbBefore, *rbSince, *rbDate;
    QSpinBox* reCount;
    QComboBox* cbTimeUnits;
    QDateEdit* dpDate;
    QButtonGroup* OverwriteRG;
    QPushButton* btnTimeSettings;
    QGroupBox* gbBakFiles;
    QLabel *laBakFiles, *laSyncFiles;
    QPushButton* btnBakCopies;
    QLabel* FilterText;
    QPushButton *FilterBtn, *bbtStart, *bbtBack, *LoadBtn, *SaveBtn, *SaveAsBtn, *bbPassword;
    QLabel* laLoadedNote;
    QWidget *pnMode, *pnUncompress;
};
