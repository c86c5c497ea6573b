#include "backup/EngineFileOps.h"

#include <chrono>
#include <thread>

#include "backup/EngineCodes.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string AttributesWarning(const std::string& name, uint32_t attr)
{
    return _("Warning - ") + _("Attributes could not be set") +
           SafeFormat(": \"%s\" (%s)", {name, FileAttrToStr(attr)});
}

} // namespace

std::string RetryDetail(uint32_t code, int tries)
{
    return SafeFormat(_("System error: %s"), {SystemErrorMessage(code)}) + " (" + std::to_string(tries) + ")";
}

TEngineFileOps::TEngineFileOps(TTaskLog& log, TRunControl& control) : FLog(log), FControl(control)
{
    Sleep = [](int ms) {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
}

bool TEngineFileOps::MayDestroy(const std::string& path, const std::string& gMsg)
{
    if (!Guard)
        return true;
    TRunGuard::TRefusal refusal = Guard->Check(path);
    if (refusal == TRunGuard::rfNone)
        return true;
    Guard->CountRefusal();
    FLog.WriteErrorToLog(lmShort, gMsg, SafeFormat(_("Refused to delete or replace \"%s\""), {path}),
                         TRunGuard::RefusalText(refusal), std::string());
    return false;
}

void TEngineFileOps::SetMaxWaitTime(int maxWaitSeconds)
{
    FPauseMs = maxWaitSeconds > 0 ? maxWaitSeconds * 1000 / 5 : 0;
}

void TEngineFileOps::Pause(int ms)
{
    if (Sleep)
        Sleep(ms);
}

int TEngineFileOps::MoveFileLogged(const std::string& dir, const std::string& oldName,
                                   const std::string& newName, std::string& errMsg, int mode, int attr)
{
    if (!MayDestroy(oldName, "B") || !MayDestroy(newName, "B")) {
        errMsg = RetryDetail(WinError::ERROR_ACCESS_DENIED, 0);
        return static_cast<int>(WinError::ERROR_ACCESS_DENIED);
    }
    int tries = 0;
    int r = 0;
    do {
        if (attr == -1)
            r = static_cast<int>(XlMoveFile(oldName, newName));
        else
            r = XlMoveFileSetAttr(oldName, newName, static_cast<uint32_t>(attr));
        if (r > 0) {
            Pause(200);
            if (!XlFileExists(oldName) && XlFileExists(newName))
                r = 0;
            else
                Pause(FPauseMs);
        } else if (r < 0) {
            Pause(200);
            r = -static_cast<int>(XlFileSetAttr(newName, static_cast<uint32_t>(attr), false));
        }
        ++tries;
    } while (r > 0 && tries < 5);
    errMsg = r == 0 ? std::string() : RetryDetail(static_cast<uint32_t>(r < 0 ? -r : r), tries);
    if (r > 0)
        FLog.WriteErrorToLog(
            mode, "B", SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), oldName, newName}),
            errMsg, std::string());
    else if (r < 0)
        FLog.WriteErrorToLog(mode | lmWarnings, "B", AttributesWarning(newName, static_cast<uint32_t>(attr)),
                             errMsg, std::string());
    else
        FLog.WriteToLog(lmVerbose, "      " + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                         {_("File"), MakeRelativePath(dir, oldName),
                                                          MakeRelativePath(dir, newName)}));
    return r;
}

bool TEngineFileOps::CreateDirectoryLogged(const std::string& dir, const std::string& gMsg, bool isSub)
{
    bool exists = XlDirectoryExists(dir, true);
    if (!exists && TargetType == fsRemote) {
        Pause(100);
        exists = XlDirectoryExists(dir, true);
    }
    if (exists)
        return true;
    // The folder keeps the case of its name, also when file names are changed to lower or upper case:
    // on a case-sensitive file system a converted path would be another folder than the one the copies
    // are written to, and would change the case of the destination's own parent folders as well.
    const std::string& target = dir;
    uint32_t lastError = 0;
    for (int tries = 0; tries < 6; ++tries) {
        if (XlForceDirectories(target)) {
            if (isSub)
                FLog.WriteToLog(lmVerbose,
                                "      " + SafeFormat(_("Creating subdirectory: \"%s\""), {target}));
            else
                FLog.WriteToLog(lmLong, "  " + SafeFormat(_("Creating directory: \"%s\""), {target}));
            return true;
        }
        lastError = LastWinError();
        Pause(FPauseMs);
    }
    FLog.WriteErrorToLog(lmShort, gMsg, SafeFormat(_("Could not create directory: \"%s\""), {target}),
                         lastError);
    return false;
}

uint32_t TEngineFileOps::SetAttributesLogged(const std::string& fileName, uint32_t attr, bool known,
                                             const std::string& gMsg)
{
    int current = -1;
    if (!known) {
        current = XlFileGetAttr(fileName, false);
        if (current == -1)
            return 2;
        if ((current & faDirectory) != 0 && (current & faReadOnly) != 0)
            attr |= faReadOnly;
        if (static_cast<uint32_t>(current) == attr)
            return 0;
    }
    uint32_t e = 0;
    int tries = 0;
    while (tries < 6) {
        e = XlFileSetAttr(fileName, attr, false);
        ++tries;
        if (e == 0 || e == WinError::ERROR_ACCESS_DENIED)
            break;
        Pause(FPauseMs);
    }
    if (e != 0) {
        FLog.WriteErrorToLog(lmWarningLine, gMsg, AttributesWarning(fileName, attr), RetryDetail(e, tries),
                             std::string());
        return e;
    }
    std::string text =
        SafeFormat(_("Attributes of \"%s\" were changed to %s"), {fileName, FileAttrToStr(attr)});
    if (FLog.CurrentLogMode() == lmVerbose)
        FLog.WriteToLog(lmShort, "     -> " + text);
    else if (!known)
        FLog.WriteToLog(lmLong, "      " + text);
    return 0;
}

bool TEngineFileOps::ClearDirectory(const std::string& baseDir, const std::string& relDir,
                                    const std::string& gMsg, bool deleteRoot, bool deleteFiles, bool log,
                                    int total, int prevCount, int& delCount, int& errCount,
                                    IProgressSink* progress)
{
    std::string p = relDir.empty() ? baseDir : AddPathDelimiter(baseDir) + relDir;
    if (!XlDirectoryExists(p, true))
        return true;
    // A source folder, a folder inside one or a folder that holds one is never cleared: of a folder that
    // holds a source only the rest is cleared.
    TRunGuard::TRefusal refusal = Guard ? Guard->Check(p) : TRunGuard::rfNone;
    if (refusal == TRunGuard::rfSourceFolder || refusal == TRunGuard::rfInsideSource) {
        MayDestroy(p, gMsg); // logged and counted by the guard
        return false;
    }
    p = AddPathDelimiter(p);
    bool ok = true;
    TSearchRec sr;
    int code = FindFirst(p + "*", faSearchAll, sr);
    while (code == 0) {
        if (FControl.Stopped())
            break;
        if ((sr.Attr & faDirectory) != 0 && IsNotDotEntry(sr.Name) && ok) {
            if ((sr.Attr & faReparsePoint) == 0) {
                ok = ClearDirectory(baseDir, JoinPath(relDir, sr.Name), gMsg, false, deleteFiles, log, total,
                                    prevCount, delCount, errCount, progress);
            } else if (deleteFiles && sr.FindData.ReparseTag == IO_REPARSE_TAG_SYMLINK &&
                       MayDestroy(p + sr.Name, gMsg)) {
                // A link to a folder goes as the link, never with what it points to. A file system
                // mounted here is left alone (and keeps its folder).
                uint32_t e = XlDeleteFile(p + sr.Name, true);
                if (e != 0) {
                    ++errCount;
                    if (log)
                        FLog.WriteErrorToLog(lmShort, gMsg,
                                             SafeFormat(_("Error deleting file: \"%s\""), {p + sr.Name}), e);
                    ok = false;
                }
            }
        }
        code = FindNext(sr);
    }
    FindClose(sr);
    if (FControl.Stopped() || (code != 0 && code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)))
        return ok;
    int n = 0;
    int d = 0;
    code = FindFirst(p + "*", faSearchFiles, sr);
    while (code == 0) {
        if (IsNotDotEntry(sr.Name) && (sr.Attr & faDirectory) == 0) {
            ++n;
            if (deleteFiles) {
                std::string name = p + sr.Name;
                if (!MayDestroy(name, gMsg)) {
                    ok = false;
                    code = FindNext(sr);
                    continue;
                }
                uint32_t e = XlDeleteFile(name, true);
                if (e == 0) {
                    ++d;
                    ++delCount;
                    if (progress)
                        progress->WriteStatus(2, FormatCount(_("No files deleted"), _("1 file deleted"),
                                                             _("%u files deleted"), prevCount + delCount));
                    if (log)
                        FLog.WriteToLog(lmVerbose,
                                        "     -> " +
                                            SafeFormat(_("File was deleted: \"%s\""),
                                                       {MakeRelativePath(AddPathDelimiter(baseDir), name)}));
                } else {
                    ++errCount;
                    if (log)
                        FLog.WriteErrorToLog(lmShort, gMsg,
                                             SafeFormat(_("Error deleting file: \"%s\""), {name}), e);
                    ok = false;
                }
            }
            if (FControl.Stopped()) {
                FindClose(sr);
                return ok;
            }
            FControl.Checkpoint();
        }
        code = FindNext(sr);
    }
    FindClose(sr);
    if (n != d)
        return ok;
    if (refusal == TRunGuard::rfHoldsSource)
        return ok;
    if (deleteRoot || !relDir.empty()) {
        std::string dirName = p.substr(0, p.size() - 1);
        uint32_t e = XlChangeFileAttr(dirName, faReadOnly, true, true);
        if (e == 0)
            e = XlRemoveDir(dirName);
        if (e == 0) {
            if (log)
                FLog.WriteToLog(lmVerbose,
                                "     -> " + SafeFormat(_("Empty directory was deleted: \"%s\""), {dirName}));
        } else {
            if (log)
                FLog.WriteErrorToLog(lmShort, gMsg,
                                     SafeFormat(_("Error deleting directory: \"%s\""), {dirName}), e);
            ok = false;
        }
    }
    return ok;
}

bool TEngineFileOps::ClearDirectory(const std::string& baseDir, const std::string& relDir,
                                    const std::string& gMsg, bool deleteRoot, bool deleteFiles, bool log,
                                    int& delCount)
{
    int errCount = 0;
    return ClearDirectory(baseDir, relDir, gMsg, deleteRoot, deleteFiles, log, 0, 0, delCount, errCount);
}
