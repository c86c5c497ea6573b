#pragma once
// A run started from the task editor: the task the editor shows runs on its own thread under the
// progress window, while the editor's thread serves the window and the run's questions. The run is
// repeated while its result window asks for it; its statistics go back into the task file.

#include <string>

#include "backup/EngineInterfaces.h"
#include "backup/TaskSettings.h"
#include "foundation/BuConsts.h"

class TZeigFortschritt;

struct TEditorRunResult
{
    TBuResult Result = brError;
    std::string LogFile; // the log the run wrote ("" without one)
    int LogMode = 0;     // the level of that log (0 = none written)
};

// Runs task (saved as taskPath, "" when it has no file yet); doBackup false simulates. The task gets
// the run's statistics and its next version count.
TEditorRunResult RunEditorTask(TTaskSettings& task, const std::string& taskPath, bool doBackup,
                               IRunHost& host, TZeigFortschritt& window);
