#pragma once
// The unattended runs of tool task files that the command line starts ("/verify", "/clean").

#include <string>

#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"

// kind 'V' runs a verify task file, 'C' a cleanup task file; the result of the run.
TBuResult RunToolTaskFile(char kind, const std::string& taskFile, TInteraction interAct, IRunHost& host,
                          IInteraction& interaction, TTaskLog& log, IProgressSink& progress,
                          TRunControl& control);
