#include "tools/ToolRuns.h"

#include "foundation/BuConsts.h"
#include "tools/CleanupRun.h"
#include "tools/VerifyRun.h"

TBuResult RunToolTaskFile(char kind, const std::string& taskFile, TInteraction interAct, IRunHost& host,
                          IInteraction& interaction, TTaskLog& log, IProgressSink& progress,
                          TRunControl& control)
{
    const int wait = ProgSettings.ViewSettings.AutoWaitTime;
    if (kind == 'V') {
        TVerifyRun run(host, interaction, progress, control, log);
        if (ProgSettings.CopySettings.BufferSize > 0)
            run.BufferSize = ProgSettings.CopySettings.BufferSize;
        return run.StartVerify(taskFile, -1, wait, 0, interAct);
    }
    THeadlessConfirmFiles confirm;
    TCleanupRun run(host, interaction, progress, control, log, confirm);
    return run.StartClean(taskFile, wait, 0, interAct);
}
