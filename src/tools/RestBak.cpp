#include "tools/RestBak.h"

#include "foundation/IniFileUtils.h"

std::string CutSuffixLimits(const std::string& suffix)
{
    const size_t slash = suffix.find('/');
    if (slash != std::string::npos)
        return suffix.substr(0, slash);
    const size_t hash = suffix.find('#');
    if (hash != std::string::npos)
        return suffix.substr(0, hash + 1);
    return suffix;
}

void ReadBackupSecSettings(const TMemIniFile& ini, TSecSettings& BakSec, TSecSettings& SyncSec)
{
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    BakSec.DirMode = sdNone;
    BakSec.Selection = 0;
    BakSec.DirPrefix = ini.ReadString("Global", "BakPrefix", p.BakPrefix) + p.BakSuffix;
    BakSec.FileSuffix = CutSuffixLimits(ini.ReadString("Global", "BakSuffix", p.BakSuffix));
    SyncSec.DirMode = sdNone;
    SyncSec.Selection = 0;
    SyncSec.DirPrefix = ini.ReadString("Global", "SyncPrefix", p.SyncPrefix) + p.SyncSuffix;
    SyncSec.FileSuffix = ini.ReadString("Global", "SyncSuffix", p.SyncSuffix);
}
