#include "backup/TaskLog.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "foundation/ExtSysUtils.h"
#include "foundation/FileUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/WinApiUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const char* const CrLf = "\r\n";

// A log is only ever a regular file (or a symbolic link to one). Anything else that carries its
// name is never written: a FIFO without a reader would block the run for ever, one with a reader
// would take the lines away, and opening a device may act on it. The name is looked at before it is
// opened, and the opened file once more, without waiting on it.
bool IsNonRegular(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// Opens an existing regular file for writing (flags: more open flags). Returns the descriptor or -1
// with code set; a file that is not regular gives ERROR_ACCESS_DENIED.
int OpenRegular(const std::string& path, int flags, uint32_t& code)
{
    if (IsNonRegular(path)) {
        code = WinError::ERROR_ACCESS_DENIED;
        return -1;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0666);
    if (fd < 0) {
        // ENXIO: a FIFO without a reader, put there after the look above.
        code = errno == ENXIO ? WinError::ERROR_ACCESS_DENIED : LastWinError();
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        code = WinError::ERROR_ACCESS_DENIED;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    code = 0;
    return fd;
}

// True when the file can be opened for appending and nobody holds a lock on it.
bool CanOpenForWriting(const std::string& path)
{
    uint32_t code = 0;
    int fd = OpenRegular(path, O_APPEND, code);
    if (fd < 0)
        return false;
    bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return ok;
}

// Creates a log file holding only the UTF-8 byte-order mark. Returns 0 or the error code.
uint32_t CreateLogFile(const std::string& path)
{
    uint32_t code = 0;
    int fd = OpenRegular(path, O_CREAT, code);
    if (fd < 0)
        return code;
    static const char bom[] = "\xEF\xBB\xBF";
    if (ftruncate(fd, 0) != 0)
        code = LastWinError();
    else if (ssize_t n = write(fd, bom, 3); n != 3)
        code = n < 0 ? LastWinError() : WinError::ERROR_DISK_FULL;
    close(fd);
    return code;
}

// Opens a file for appending and takes the writer's lock. Returns 0 or the error code.
uint32_t OpenAppend(const std::string& path, std::FILE*& f)
{
    uint32_t code = 0;
    int fd = OpenRegular(path, O_APPEND, code);
    if (fd < 0)
        return code;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return WinError::ERROR_SHARING_VIOLATION;
    }
    f = fdopen(fd, "ab");
    if (!f) {
        code = LastWinError();
        close(fd);
        return code;
    }
    return 0;
}

std::string StripLeadingBlanks(const std::string& s, size_t maxCount)
{
    size_t n = 0;
    while (n < s.size() && n < maxCount && s[n] == ' ')
        ++n;
    return s.substr(n);
}

} // namespace

std::string EscapeLogText(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    auto at = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned c = at(i);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F) {
            // U+0080 to U+009F, the second set of control characters (U+0085 ends a line for many
            // readers); the second byte is the code point.
            out += "\\u00";
            out += hex[at(i + 1) >> 4];
            out += hex[at(i + 1) & 15];
            i += 1;
        } else if (c == 0xE2 && at(i + 1) == 0x80 && (at(i + 2) == 0xA8 || at(i + 2) == 0xA9)) {
            // U+2028 and U+2029, the line and paragraph separators.
            out += at(i + 2) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

TTaskLog::TTaskLog(IRunHost& host, IInteraction& interaction) : FHost(host), FInteraction(interaction) {}

TTaskLog::~TTaskLog()
{
    if (FProt)
        std::fclose(FProt);
    if (FMail)
        std::fclose(FMail);
}

bool TTaskLog::LineAllowed(int fileMode, int lineMode)
{
    if ((fileMode & lmLevelMask) >= (lineMode & lmLevelMask))
        return true;
    return (fileMode & lmWarnings) != 0 && (fileMode & lmLevelMask) == lmShort &&
           (lineMode & lmWarnings) != 0;
}

std::string TTaskLog::LogPath(const std::string& logName) const
{
    if (logName.empty())
        return FHost.DefaultLogFile();
    if (IsAbsolutePath(logName))
        return logName;
    return FHost.LogDir() + logName;
}

std::string TTaskLog::DatedLogName(const std::string& path, TDateTime day)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = path.substr(dir.size());
    std::string ext = ExtractExtension(name);
    std::string result = dir + DeleteExtension(name) + " " + FormatDateTime("yyyy-mm-dd", day);
    if (!ext.empty())
        result += "." + ext;
    return result;
}

uint32_t TTaskLog::OpenLogFile(int apm, const std::string& logName, bool mailLog)
{
    int mode = apm;
    bool deleteFirst = (apm & lmDeleteLog) != 0;
    if (CmdProtMode >= 0) {
        mode = CmdProtMode % 10;
        deleteFirst = CmdProtMode > 10;
    }
    FActMode = mode & (lmLevelMask | lmWarnings);
    FErrorSummary = (mode & lmErrorSummary) != 0;
    bool withTemp = mailLog || (mode & lmPrint) != 0;
    FTempMode = withTemp ? (FActMode != 0 ? FActMode : lmShort) : 0;

    uint32_t result = 0;
    if (FActMode > 0) {
        std::string path = LogPath(logName);
        std::string dir = GetParentDir(path);
        if (!dir.empty())
            XlForceDirectories(dir);
        // A log that another program holds: "-1", "-2", … before a new extension ".log". A name that
        // is not a regular file is not held by anyone: the log cannot be written there.
        std::string candidate = path;
        for (int n = 1; XlFileExists(candidate) && !IsNonRegular(candidate) && !CanOpenForWriting(candidate);
             ++n)
            candidate = DeleteExtension(path) + "-" + std::to_string(n) + ".log";
        FLastLogFile = candidate;

        const auto& logSettings = ProgSettings.LogSettings;
        int64_t limit = static_cast<int64_t>(logSettings.LogSize) * (logSettings.DecimalSizes ? 1000 : 1024);
        std::string moved;
        if (XlFileExists(FLastLogFile) && XlGetFileSizeOf(FLastLogFile) > limit) {
            std::string dated = DatedLogName(FLastLogFile, Date());
            if (XlMoveFile(FLastLogFile, dated) == 0)
                moved = dated;
        }
        if (deleteFirst && !IsNonRegular(FLastLogFile))
            XlDeleteExistingFile(FLastLogFile);
        if (!XlFileExists(FLastLogFile))
            result = CreateLogFile(FLastLogFile);
        if (result == 0)
            result = OpenAppend(FLastLogFile, FProt);
        if (result == 0 && !moved.empty()) {
            WriteToLog(lmShort, SafeFormat(_("Continuation of \"%s\""), {moved}));
            WriteToLog(lmShort, std::string());
        }
        if (result != 0) {
            FActMode = 0;
            if (FProt) {
                std::fclose(FProt);
                FProt = nullptr;
            }
        }
    }
    FTempProt = false;
    FTempLogName.clear();
    FLogHeader.clear();
    if (result == 0 && withTemp) {
        std::string dir = FHost.TempDir();
        FTempLogName = dir + ProgSettings.LogSettings.MailLogPrefix +
                       FormatDateTime(" yy-mm-dd hh-nn-ss", Now()) + ".log";
        if (!dir.empty())
            XlForceDirectories(dir);
        result = CreateLogFile(FTempLogName);
        if (result == 0) {
            result = OpenAppend(FTempLogName, FMail);
            FTempProt = result == 0;
        }
        if (result != 0)
            FTempLogName.clear();
    }
    FLogErrorList.clear();
    FErrorWindow.clear();
    FListExists = true;
    return result;
}

void TTaskLog::CheckLogError(uint32_t errorCode, bool prompt)
{
    if (errorCode == 0)
        return;
    if (prompt) {
        FInteraction.ErrorBox(
            _("Error opening log file!") + CrLf + SystemErrorMessage(errorCode) + CrLf + FLastLogFile, 0);
    } else {
        ReportRunEvent(0xC000000D, {});
    }
}

void TTaskLog::WriteLine(std::FILE* f, const std::string& line, bool flush)
{
    std::string text = EscapeLogText(line) + CrLf;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size())
        std::clearerr(f);
    if (flush)
        std::fflush(f);
}

void TTaskLog::InitLog(const std::string& action)
{
    FLogTime = false;
    FLogHeader = GetProgNameVersion(4) + " [" + SafeFormat("%.2x", {FActMode}) + "] - " + action;
    WriteToLog(lmShort, FLogHeader);
    WriteToLog(lmLong, "  " + _("Operating system: ") + GetWindowsVersionText());
}

void TTaskLog::BeginLog(TDateTime dt, const std::string& desc)
{
    FLogBegin = "  ==> " + _("Start: ") + DateTimeToStr(dt) + " - " + desc;
    WriteToLog(lmShort, FLogBegin);
}

void TTaskLog::WriteToLog(int mode, const std::string& msg)
{
    std::string line = msg;
    int level = FActMode & lmLevelMask;
    if (level == lmVerbose && FLogTime && !msg.empty())
        line = "  " + FormatDateTime("hh:nn:ss.zzz", Now()) + ": " + StripLeadingBlanks(msg, 4);
    bool flush = level == lmVerbose;
    if (FProt && LineAllowed(FActMode, mode))
        WriteLine(FProt, line, flush);
    if (FTempProt && FMail && LineAllowed(FTempMode, mode))
        WriteLine(FMail, line, flush);
}

void TTaskLog::WriteErrorToLog(int mode, const std::string& gMsg, const std::string& aMsg,
                               const std::string& eMsg1, const std::string& eMsg2)
{
    int level = FActMode & lmLevelMask;
    std::string line;
    if (level >= lmLong && mode <= level && FErrorSummary && FListExists) {
        size_t n = FLogErrorList.size() + 1;
        if (ShowErrors)
            FErrorWindow.push_back("(" + std::to_string(n) + ") " + EscapeLogText(aMsg));
        std::string entry = "(" + std::to_string(n) + ")";
        if (!gMsg.empty())
            entry += " " + gMsg;
        entry += ": " + aMsg;
        FLogErrorList.push_back(entry);
        line = "  *** " + entry;
    } else {
        line = "  *** " + aMsg;
    }
    WriteToLog(mode, line);
    if (level >= lmLong || (FActMode & lmWarnings) != 0) {
        if (!eMsg1.empty())
            WriteToLog(mode, "      -> " + eMsg1);
        if (!eMsg2.empty())
            WriteToLog(mode, "      -> " + eMsg2);
    }
}

void TTaskLog::WriteErrorToLog(int mode, const std::string& gMsg, const std::string& aMsg, uint32_t errCode)
{
    if (errCode != 0)
        WriteErrorToLog(mode, gMsg, aMsg, SafeFormat(_("System error: %s"), {SystemErrorMessage(errCode)}),
                        std::string());
    else
        WriteErrorToLog(mode, gMsg, aMsg, std::string(), std::string());
}

void TTaskLog::WriteErrorSummary()
{
    FLogTime = false;
    if (!FListExists || !FErrorSummary || FLogErrorList.empty())
        return;
    WriteToLog(lmLong, "  *** " + _("Summary of errors:"));
    size_t shown = std::min<size_t>(FLogErrorList.size(), 100);
    for (size_t i = 0; i < shown; ++i)
        WriteToLog(lmLong, "      => " + FLogErrorList[i]);
    if (FLogErrorList.size() > 100)
        WriteToLog(lmLong, "      => " + SafeFormat(_("%u more errors"), {FLogErrorList.size() - 100}));
}

void TTaskLog::FlushLogFile(int mode)
{
    if (FProt && (FActMode & lmLevelMask) >= mode)
        std::fflush(FProt);
}

void TTaskLog::ReleaseLogFile(int mode)
{
    if (FProt && (FActMode & lmLevelMask) >= mode) {
        std::fclose(FProt);
        FProt = nullptr;
    }
}

void TTaskLog::ReopenLogFile(int mode)
{
    if (!FProt && FActMode != 0 && (FActMode & lmLevelMask) >= mode && OpenAppend(FLastLogFile, FProt) != 0)
        FProt = nullptr;
}

void TTaskLog::CloseTempLog()
{
    if (FMail) {
        std::fclose(FMail);
        FMail = nullptr;
    }
    FTempProt = false;
}

void TTaskLog::CloseLogFile(bool errorLog)
{
    int state = FHost.ExitState();
    if (errorLog && state != 0 && !FHost.IsPortable()) {
        if (state != 5)
            FHost.IncErrorCount();
        std::string dir = FHost.LogDir();
        if (!dir.empty())
            XlForceDirectories(dir);
        std::string name = dir + "QvErrors.log";
        uint32_t code = XlFileExists(name) ? 0 : CreateLogFile(name);
        // Waiting for a lock to go away cannot make a FIFO or a device a file.
        if (code == 0 && !IsNonRegular(name)) {
            std::FILE* f = nullptr;
            for (int attempt = 0; attempt < 2; ++attempt) {
                if (OpenAppend(name, f) == 0)
                    break;
                f = nullptr;
                std::this_thread::sleep_for(std::chrono::milliseconds(2000));
            }
            if (f) {
                WriteLine(f, FLogHeader, false);
                WriteLine(f, FLogBegin, false);
                WriteLine(f, "  *** " + GetErrorStateText(state), false);
                WriteLine(f, std::string(), false);
                std::fclose(f);
            }
        }
    }
    if (FProt) {
        if (FActMode > 0)
            WriteLine(FProt, std::string(), false);
        std::fclose(FProt);
        FProt = nullptr;
    }
    FActMode = 0;
    FTempMode = 0;
    CloseTempLog();
    if (!FTempLogName.empty()) {
        XlDeleteExistingFile(FTempLogName);
        FTempLogName.clear();
    }
    FLogErrorList.clear();
    FListExists = false;
    if (ShowErrors)
        FErrorWindow.clear();
}
