#include "backup/gui/EditorRun.h"

#include <QEventLoop>
#include <exception>
#include <thread>

#include "backup/BackupRun.h"
#include "backup/CopyLoop.h"
#include "backup/TaskFile.h"
#include "backup/TaskLog.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/ProgressSink.h"
#include "foundation/QvUtilsTaskFiles.h"

TEditorRunResult RunEditorTask(TTaskSettings& task, const std::string& taskPath, bool doBackup,
                               IRunHost& host, TZeigFortschritt& window)
{
    TRunControl control;
    TWindowProgress progress(window, &control);
    TWindowInteraction interaction(window);
    TTaskLog log(host, interaction);
    TBackupEngine engine(host, interaction, progress, control, log);
    TCopyLoop loop(engine.Task, log, control, progress, interaction);
    AttachCopyLoop(engine, loop);
    engine.Task = task;
    engine.Task.LoadedTaskName = taskPath;
    engine.ActTaskName = taskPath;
    engine.DoBackup = doBackup;
    engine.CopyPriority = engine.Task.TaskPriority;
    engine.BuAction = 0;
    host.SetExitCode(0, 0);

    TEditorRunResult outcome;
    std::exception_ptr failure;
    QEventLoop wait;
    std::thread runner([&] {
        try {
            TTaskSettings& t = engine.Task;
            const std::string logName =
                ExpandLogNameWithDest(t.TaskLogName, t.LoadedTaskName, engine.GetLogDestination());
            log.ShowErrors = t.ShowErrors;
            log.TaskProtMode = t.TaskProtMode;
            const uint32_t code = log.OpenLogFile(t.TaskProtMode, logName,
                                                  t.MailMode != mmNone && t.MailData.LogMode != mmNone);
            log.CheckLogError(code, true);
            outcome.LogMode = log.ActMode();
            engine.ZipName = engine.MakeZipName(t.ZipNameEdit);
            do
                outcome.Result = engine.RunBackupTask(-1, taskPath, iaPrompt);
            while (outcome.Result == brRepeat && !control.CancelAll());
            if (outcome.Result != brError && !taskPath.empty()) {
                TTaskFileReport report;
                UpdateTaskStatus(t, taskPath, engine.StartTime, report);
                for (const auto& line : report.Messages)
                    log.WriteToLog(line);
            }
            outcome.LogFile = log.LastLogFile();
            log.CloseLogFile(true);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
    });
    wait.exec();
    runner.join();
    if (failure)
        std::rethrow_exception(failure);
    const TEditStatus status = task.EditStatus;
    const std::string name = task.ActTaskName;
    task.BackupCount = engine.Task.BackupCount;
    task.LastBackupTime = engine.Task.LastBackupTime;
    task.LastBuTime = engine.Task.LastBuTime;
    for (int i = 0; i < task.Folders.Count() && i < engine.Task.Folders.Count(); ++i) {
        task.Folders[i].ICount = engine.Task.Folders[i].ICount;
        task.Folders[i].IBytes = engine.Task.Folders[i].IBytes;
    }
    task.LastLogFile = outcome.LogFile.empty() ? task.LastLogFile : outcome.LogFile;
    task.EditStatus = status;
    task.ActTaskName = name;
    return outcome;
}
