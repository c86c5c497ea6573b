#include "backup/TaskEditor.h"

#include <sys/stat.h>
#include <unistd.h>

#include "backup/BuFtpDlg.h"
#include "backup/TaskEditorChecks.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

bool FileExists(const std::string& name)
{
    struct stat st
    {
    };
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& name)
{
    struct stat st
    {
    };
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Read-only: the owner may not write it (root included, who could write it all the same).
bool IsReadOnlyFile(const std::string& name)
{
    struct stat st
    {
    };
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ((st.st_mode & S_IWUSR) == 0 || ::access(name.c_str(), W_OK) != 0);
}

std::string FolderOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind(PathDelimiter);
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind(PathDelimiter);
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

const char* const SaveQuestion = N_("Do you really want to save this task?");

} // namespace

std::string TaskDisplayName(const std::string& fileName)
{
    return DeleteExtension(FileNameOf(fileName));
}

TTaskEditor::TTaskEditor(TTaskSettings& task, THistoryList& taskList, ITaskEditorDialogs& dialogs)
    : FTask(task), FTaskList(taskList), FDialogs(dialogs)
{
    // folders and destinations are looked at as a run looks at them
    Context.Environment = &FEnvironment;
}

std::string TTaskEditor::TaskDir() const
{
    return AddPathDelimiter(ActiveTaskDir.empty() ? GetPersonalFolder() : ActiveTaskDir);
}

std::string TTaskEditor::CurrentTaskDir() const
{
    const std::string dir = FolderOf(FTask.ActTaskName);
    return DirExists(dir) ? dir : TaskDir();
}

// ---- captions

std::string TTaskEditor::CaptionText() const
{
    std::string caption;
    switch (ACaptType) {
    case ctNew:
        caption = _("New backup task");
        break;
    case ctNewTask:
        caption = _("New task: ") + TaskDisplayName(FTask.ActTaskName);
        break;
    case ctBuTask:
        caption = _("Backup task") + ": " + TaskDisplayName(FTask.ActTaskName);
        break;
    }
    if (FTask.SyncMode > 0)
        caption += " (S)";
    return caption;
}

std::string TTaskEditor::HintText() const
{
    switch (ACaptType) {
    case ctNew:
        return _("New backup task");
    case ctNewTask:
        return _("New task: ") + FTask.ActTaskName;
    case ctBuTask: {
        std::string hint = _("Backup task") + ": " + FTask.ActTaskName;
        if (!FTask.TaskNote.empty()) {
            TStringList lines;
            lines.SetCommaText(FTask.TaskNote);
            for (int i = 0; i < lines.Count(); ++i)
                hint += "\r\n" + lines[i];
        }
        return hint;
    }
    }
    return std::string();
}

// ---- state

bool TTaskEditor::InitTask()
{
    FTask.Folders.Clear();
    FLoadMessages.clear();
    bool loaded = false;
    struct stat st
    {
    };
    if (!FTask.ActTaskName.empty() && ::stat(FTask.ActTaskName.c_str(), &st) == 0) {
        // A file that is there but no task file is never taken as the name of the new task: saving
        // would overwrite it.
        const std::string problem = OpenProblem(FTask.ActTaskName);
        if (!problem.empty()) {
            FDialogs.ShowError(problem);
            FTask.ActTaskName.clear();
        }
    }
    if (FileExists(FTask.ActTaskName) && OpenProblem(FTask.ActTaskName).empty()) {
        TTaskFileReport report;
        TTaskSettings copy = FTask;
        loaded = LoadTask(copy, FTask.ActTaskName, true, iaNone, report, Context);
        FLoadMessages = report.Messages;
        if (loaded)
            FTask = std::move(copy);
    }
    if (loaded) {
        ACaptType = ctBuTask;
    } else {
        SetNewTaskDefaults(FTask, *Context.Settings);
        ACaptType = FTask.ActTaskName.empty() ? ctNew : ctNewTask;
    }
    return loaded;
}

void TTaskEditor::NewTask()
{
    SetNewTaskDefaults(FTask, *Context.Settings);
    FTask.Folders.Clear();
    FTask.ActTaskName.clear();
    FTask.LoadedTaskName.clear();
    FTask.TaskNote.clear();
    ACaptType = ctNew;
    const TDateTime today = Date();
    FTask.NewPeriod.Mode = tmAll;
    FTask.NewPeriod.TmRef = trModify;
    FTask.NewPeriod.Dat1 = today - 1461;
    FTask.NewPeriod.Dat2 = today;
    FTask.NewPeriod.DayTime = 0.25;
}

int TTaskEditor::QuerySaveChanges()
{
    if (!Visible || FTask.EditStatus != esChanged)
        return 0;
    const std::string question = FTask.ActTaskName.empty() ? _("Save new backup task?")
                                                           : SafeFormat(_("Save changed task to \"%s\"?"),
                                                                        {FileNameOf(FTask.ActTaskName)});
    switch (FDialogs.AskYesNoCancel(question)) {
    case eaCancel:
        return 2;
    case eaNo:
        if (!FTask.ActTaskName.empty()) {
            SetEditStatus(esSaved);
            return 0;
        }
        return 1;
    case eaYes:
        break;
    }
    if (!CheckDestination())
        return 2;
    if (!ConfirmRiskySettings(_(SaveQuestion)))
        return 2;
    if (FTask.ActTaskName.empty()) {
        SaveTaskAs(false);
    } else if (IsReadOnlyFile(FTask.ActTaskName)) {
        FDialogs.ShowInfo(_("The loaded task file is read only, save task using another name!"));
        SaveTaskAs(true);
    } else {
        SaveTaskChecked();
    }
    return 0;
}

void TTaskEditor::ResetCount()
{
    if (FDialogs.AskYesNo(_("Reset backup version count?")))
        FTask.BackupCount = 1;
}

void TTaskEditor::ApplyWizardTask(const TBackupTask& answers)
{
    const TQvSettings& settings = *Context.Settings;
    NewTask();
    FTask.BuFtp = answers.FtpTarget;
    if (FTask.BuFtp) {
        FTask.FtpPar = answers.FtpSettings;
        FTask.TaskBufferSize = settings.CopySettings.FTPBufferSize;
    } else {
        FTask.BuZiel = answers.TargetDir;
        FTask.TaskBufferSize = settings.CopySettings.BufferSize;
    }
    FTask.DestMode = answers.TargetMode;
    if (FTask.DestMode >= 4 && FTask.DestMode != 5) {
        FTask.ZipNameEdit = answers.ZipName;
        FTask.UserZipName = answers.ZipName;
    }
    const auto has = [&](TBackupOption o) { return (answers.Options & BackupOption(o)) != 0; };
    FTask.cbCompress = has(boGzComp) || has(boZipComp);
    FTask.cbZipCompress = has(boZipComp);
    FTask.cbVerify = has(boVerify);
    FTask.cbEncrypt = has(boEncrypt);
    FTask.CryptKeyMode = ckAuto;
    if (!answers.EncPwd.empty()) {
        FTask.cbFixPwd = true;
        FTask.CryptPwd = answers.EncPwd;
    }
    TStringList dirs;
    dirs.SetCommaText(answers.DirList);
    for (int i = 0; i < dirs.Count(); ++i) {
        if (dirs[i].empty())
            continue;
        auto entry = std::make_unique<TExtensionList>(FTask.NewPeriod, sdmNormal);
        entry->VPath = dirs[i];
        entry->SPath = dirs[i];
        entry->IsAvailable = DirExists(dirs[i]);
        entry->DoUpdate = true;
        FTask.Folders.Add(std::move(entry));
    }
    TOptionFacts facts;
    facts.DirCount = FTask.Folders.Count();
    facts.SourcesOnOneDrive = SourcesOnOneDrive(FTask);
    NormaliseTask(FTask, facts);
    if (!answers.NewTaskName.empty())
        SaveAsNewTask(answers.NewTaskName);
    if (answers.AutoNr >= 0 && Hooks.SetAutoTask) {
        TBackupTask saved = answers;
        saved.NewTaskName = FTask.ActTaskName;
        Hooks.SetAutoTask(saved);
    }
    SetEditStatus(esNew);
}

// ---- file commands

std::string TTaskEditor::OpenProblem(const std::string& fileName) const
{
    if (!FileExists(fileName) && !DirExists(fileName)) {
        if (::access(fileName.c_str(), F_OK) != 0)
            return SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {fileName});
    }
    const std::string problem = TaskFileProblem(fileName);
    if (!problem.empty())
        return SafeFormat(_("Task file \"%s\": %s"), {fileName, problem});
    try {
        const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
        if (!ini.SectionExists("Global"))
            return SafeFormat(_("\"%s\" is not a backup task file!"), {fileName});
    } catch (const std::exception& e) {
        return SafeFormat(_("Task file \"%s\": %s"), {fileName, std::string(e.what())});
    }
    return std::string();
}

void TTaskEditor::Remember(const std::string& fileName)
{
    std::string relName;
    AddTaskToHistory(FTaskList, fileName, relName);
}

bool TTaskEditor::OpenTask(const std::string& fileName, bool afterRun)
{
    (void)afterRun;
    FLoadMessages.clear();
    const std::string problem = OpenProblem(fileName);
    if (!problem.empty()) {
        // The task in the editor stays as it was.
        FDialogs.ShowError(problem);
        return false;
    }
    TTaskSettings copy = FTask;
    copy.Folders.Clear();
    TTaskFileReport report;
    const bool loaded = LoadTask(copy, fileName, true, iaNone, report, Context);
    FLoadMessages = report.Messages;
    if (!loaded) {
        std::string text = SafeFormat(_("Error loading task \"%s\"!"), {fileName});
        for (const auto& m : report.Messages)
            text += "\r\n" + m;
        FDialogs.ShowError(text);
        return false;
    }
    FTask = std::move(copy);
    FTask.ActTaskName = fileName;
    ACaptType = ctBuTask;
    Remember(fileName);
    return true;
}

bool TTaskEditor::OpenTaskWithDialog(const std::string& initialDir)
{
    if (QuerySaveChanges() == 2)
        return false;
    std::string file;
    if (!FDialogs.ChooseTaskFile(tfOpen, _("Select backup task"), initialDir, file))
        return false;
    return OpenTask(file, false);
}

bool TTaskEditor::OpenTaskCommand()
{
    return OpenTaskWithDialog(CurrentTaskDir());
}

bool TTaskEditor::LoadFromList(const std::string& name)
{
    const std::string file = GetTaskFileName(name, "buj");
    if (!FileExists(file)) {
        FDialogs.ShowError(SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {file}));
        FTaskList.RemString(name);
        FTaskList.RemString(MakeRelativePath(TaskDir(), file));
        return false;
    }
    if (QuerySaveChanges() == 2)
        return false;
    return OpenTask(file, false);
}

bool TTaskEditor::SelectSaveName(std::string& fileName)
{
    const std::string folder = FolderOf(fileName);
    const std::string dir = DirExists(folder) ? folder : TaskDir();
    std::string file = FileNameOf(fileName);
    if (!FDialogs.ChooseTaskFile(tfSave, _("Save current task"), dir, file)) {
        fileName.clear();
        return false;
    }
    if (ExtractExtension(FileNameOf(file)).empty())
        file += ".buj";
    fileName = file;
    return true;
}

bool TTaskEditor::CheckTaskPassword()
{
    if (FTask.TaskPwd.empty())
        return true;
    std::string pwd;
    if (!FDialogs.AskPassword(
            _("Save current task"),
            SafeFormat(_("To overwrite the task file:\r\n%s\r\nrequires a password!"), {FTask.ActTaskName}),
            pwd))
        return false;
    return pwd == FTask.TaskPwd;
}

bool TTaskEditor::WriteTask(const std::string& fileName, const std::vector<int>& indexes)
{
    TTaskFileReport report;
    if (SaveTask(FTask, fileName, indexes, report, Context))
        return true;
    std::string text;
    for (const auto& m : report.Messages)
        text += (text.empty() ? "" : "\r\n") + m;
    FDialogs.ShowError(text.empty() ? SafeFormat(_("Error saving task \"%s\"!"), {fileName}) : text);
    return false;
}

bool TTaskEditor::SaveTaskChecked()
{
    if (!CheckTaskPassword()) {
        FDialogs.ShowError(_("Unauthorized attempt to overwrite the taskfile!"));
        return false;
    }
    if (!WriteTask(FTask.ActTaskName, {}))
        return false;
    SetEditStatus(esSaved);
    return true;
}

bool TTaskEditor::SaveTaskCommand()
{
    if (!CheckTaskBeforeSave(_(SaveQuestion)))
        return false;
    if (FTask.ActTaskName.empty())
        return SaveTaskAs(false);
    if (IsReadOnlyFile(FTask.ActTaskName)) {
        FDialogs.ShowInfo(_("The loaded task file is read only, save task using another name!"));
        return SaveTaskAs(true);
    }
    return SaveTaskChecked();
}

int TTaskEditor::AskFixedPasswordAction()
{
    if (!FTask.cbFixPwd || FTask.CryptPwd.empty())
        return 0;
    return FDialogs.AskChoice(
        _("Backup task") + ": " + FileNameOf(FTask.ActTaskName),
        _("This task is using a fixed password for encryption!\r\nHow should the password "
          "be processed?"),
        {_("Retain"), _("Edit"), _("Clear")});
}

void TTaskEditor::ApplyPasswordAction(int action)
{
    if (action == 1) {
        std::string pwd;
        if (FDialogs.AskNewPassword(_("File encryption"), Context.Settings->OtherSettings.MinPwdLength, pwd))
            FTask.CryptPwd = pwd;
    } else if (action == 2) {
        FTask.CryptPwd.clear();
        FTask.cbFixPwd = false;
    }
}

bool TTaskEditor::SaveTaskAs(bool offerPasswordChoice)
{
    std::string fileName = FTask.ActTaskName;
    const int action = offerPasswordChoice ? AskFixedPasswordAction() : 0;
    if (action < 0)
        return false;
    if (!CheckTaskBeforeSave(_(SaveQuestion)) || !SelectSaveName(fileName))
        return false;
    ApplyPasswordAction(action);
    if (fileName == FTask.ActTaskName)
        return SaveTaskChecked();
    if (Hooks.SlotsOfTask && !FTask.ActTaskName.empty()) {
        const std::vector<int> slots = Hooks.SlotsOfTask(FTask.ActTaskName);
        if (!slots.empty()) {
            std::string numbers;
            for (int nr : slots)
                numbers += (numbers.empty() ? "" : ",") + std::to_string(nr);
            const std::string question = SafeFormat(
                _("The task \"%s\" is used for automatic backup %s.\r\nDo you want to replace it by "
                  "the new task \"%s\"?"),
                {MakeRelativePath(TaskDir(), FTask.ActTaskName), numbers,
                 MakeRelativePath(TaskDir(), fileName)});
            if (FDialogs.AskYesNo(question) && Hooks.MoveSlot)
                for (int nr : slots)
                    Hooks.MoveSlot(nr, fileName);
        }
    }
    FTask.TaskPwd.clear();
    return SaveAsNewTask(fileName);
}

bool TTaskEditor::SaveAsNewTask(const std::string& fileName)
{
    const int count = FTask.BackupCount;
    FTask.BackupCount = 1;
    if (!WriteTask(fileName, {})) {
        FTask.BackupCount = count;
        return false;
    }
    FTask.ActTaskName = fileName;
    FTask.LoadedTaskName = fileName;
    Remember(fileName);
    if (Hooks.AddBackupTask)
        Hooks.AddBackupTask(fileName);
    ACaptType = ctBuTask;
    SetEditStatus(esSaved);
    return true;
}

bool TTaskEditor::ImportCommand()
{
    std::string file;
    if (!FDialogs.ChooseTaskFile(tfImport, _("Import directories from other task"), CurrentTaskDir(), file))
        return false;
    const std::string problem = OpenProblem(file);
    if (!problem.empty()) {
        FDialogs.ShowError(problem);
        return false;
    }
    // The folders are read apart first, so that a failed load adds none of them.
    TTaskSettings imported = FTask;
    imported.Folders.Clear();
    TTaskFileReport report;
    if (!LoadTask(imported, file, false, iaNone, report, Context)) {
        std::string text = SafeFormat(_("Error loading task \"%s\"!"), {file});
        for (const auto& m : report.Messages)
            text += "\r\n" + m;
        FDialogs.ShowError(text);
        return false;
    }
    for (auto& entry : imported.Folders)
        FTask.Folders.Add(std::move(entry));
    Remember(file);
    SetEditStatus(esChanged);
    return true;
}

bool TTaskEditor::ExportCommand()
{
    std::vector<std::string> items;
    for (const auto& entry : FTask.Folders)
        items.push_back(entry->SPath);
    std::vector<int> ticked;
    if (!FDialogs.TickItems(_("Select directories to be exported"),
                            _("A new backup task containing all selected directories will be created"),
                            _("Directories:"), items, ticked))
        return false;
    if (ticked.empty()) {
        FDialogs.ShowError(_("No directories selected!"));
        return false;
    }
    const int action = AskFixedPasswordAction();
    if (action < 0)
        return false;
    std::string file;
    if (!FDialogs.ChooseTaskFile(tfExport, _("Save as new task for selected directories"), CurrentTaskDir(),
                                 file))
        return false;
    if (ExtractExtension(FileNameOf(file)).empty())
        file += ".buj";
    ApplyPasswordAction(action);
    // The editor's own name, status and statistics stay as they were.
    const TEditStatus status = FTask.EditStatus;
    const bool written = WriteTask(file, ticked);
    FTask.EditStatus = status;
    return written;
}

bool TTaskEditor::SelectDestinationPage(bool ftp, bool forceDialog)
{
    const TQvSettings& settings = *Context.Settings;
    if (!ftp) {
        if (FTask.BuFtp)
            SetEditStatus(esChanged);
        FTask.BuFtp = false;
        if (FTask.TaskBufferSize == settings.CopySettings.FTPBufferSize)
            FTask.TaskBufferSize = settings.CopySettings.BufferSize;
        return true;
    }
    if (FTask.BuFtp && !forceDialog)
        return true;
    bool result = true;
    FTask.BuFtp = true;
    if (FTask.FtpPar.Host.empty() || FTask.FtpPar.Username.empty() || forceDialog) {
        TFtpParams params = FTask.FtpPar;
        if (FDialogs.EditFtpSettings(params)) {
            FTask.FtpPar = params;
            SetEditStatus(esChanged);
        } else {
            FTask.BuFtp = false;
            result = false;
        }
    } else {
        SetEditStatus(esChanged);
    }
    if (FTask.BuFtp && FTask.TaskBufferSize == settings.CopySettings.BufferSize)
        FTask.TaskBufferSize = settings.CopySettings.FTPBufferSize;
    return result;
}

// ---- checks

bool TTaskEditor::CheckTaskBeforeSave(const std::string& text)
{
    const std::string problem = CheckDestinationText(FTask);
    if (!problem.empty()) {
        FDialogs.ShowError(problem);
        return false;
    }
    if (!CheckDestination())
        return false;
    return ConfirmRiskySettings(text);
}

bool TTaskEditor::CheckDestination()
{
    if (FTask.Folders.Empty()) {
        FDialogs.ShowError(_("You must select at least one directory for backup!"));
        return false;
    }
    if (FTask.BuFtp) {
        if (!FTask.FtpPar.Host.empty() && !FTask.FtpPar.Username.empty())
            return true;
        if (!FDialogs.AskYesNo(_("Please specify FTP server and username")))
            return false;
        TFtpParams params = FTask.FtpPar;
        if (!FDialogs.EditFtpSettings(params))
            return false;
        FTask.FtpPar = params;
        SetEditStatus(esChanged);
        return !FTask.FtpPar.Host.empty();
    }
    if (!FTask.BuZiel.empty())
        FTask.BuZiel = MakeValidDestPath(FTask.BuZiel);
    if (FTask.BuZiel.empty()) {
        if (!FDialogs.AskOkCancel(_("Please select a destination directory for your backup!")))
            return false;
        std::string folder;
        if (!FDialogs.ChooseFolder(_("Select destination directory"), GetPersonalFolder(), folder) ||
            folder.empty())
            return false;
        FTask.BuZiel = folder;
        SetEditStatus(esChanged);
    }
    const std::string overlap = DestinationOverlapProblem(FTask);
    if (!overlap.empty()) {
        FDialogs.ShowError(overlap);
        return false;
    }
    return true;
}

bool TTaskEditor::ConfirmRiskySettings(const std::string& text)
{
    for (const auto& question : RiskyQuestions(FTask, text))
        if (!FDialogs.AskYesNo(question))
            return false;
    return true;
}
