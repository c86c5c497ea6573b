#pragma once
// Shared by the tool tests: the program's security-copy names as the settings dialog fills them.

#include "foundation/BuConsts.h"

namespace tooltest {

inline void SetProgramDefaults()
{
    ProgSettings.SecCopySettings.BakPrefix = "~";
    ProgSettings.SecCopySettings.SyncPrefix = "_";
    ProgSettings.SecCopySettings.BakSuffix = "bak";
    ProgSettings.SecCopySettings.SyncSuffix = "sync";
    ProgSettings.OtherSettings.DefDriveId = "Drv?";
}

} // namespace tooltest
