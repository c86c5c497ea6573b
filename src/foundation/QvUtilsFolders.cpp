#include "foundation/QvUtilsFolders.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/FileUtils.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/WinExecute.h"
#include "platform/ErrorCodes.h"
#include "platform/FileLock.h"
#include "platform/FileText.h"
#include "platform/RegistryStore.h"
#include "platform/XdgDirs.h"
#include "rtl/Gettext.h"
#include "rtl/Thread.h"

namespace {

std::string FLockName;
int FLockFd = -1;
std::function<void(const std::string&)> HelpErrorHandler;

std::string Slash(const std::string& dir)
{
    return dir.empty() ? dir : AddPathDelimiter(dir);
}

// s without blanks, tabs and double quotes at both ends.
std::string TrimBlanksAndQuotes(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\"");
    size_t e = s.find_last_not_of(" \t\"");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool IsDir(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirs(const std::string& dir)
{
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (d.empty())
        return false;
    if (IsDir(d))
        return true;
    for (size_t pos = 1; pos <= d.size(); ++pos) {
        if (pos == d.size() || d[pos] == '/') {
            std::string cur = d.substr(0, pos);
            if (!IsDir(cur) && ::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
                return false;
        }
    }
    return IsDir(d);
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

// --- UTF-16

std::string Utf8ToUtf16LeBytes(const std::string& text)
{
    std::string out;
    size_t i = 0;
    auto put = [&out](uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    };
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 && i + 1 < text.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c >> 4) == 14 && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c >> 3) == 30 && i + 3 < text.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

std::string Utf16LeBytesToUtf8(const std::string& bytes)
{
    std::string out;
    size_t n = bytes.size() / 2;
    auto unit = [&bytes](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k])) |
               (static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8);
    };
    for (size_t k = 0; k < n; ++k) {
        uint32_t u = unit(k);
        if (u >= 0xD800 && u < 0xDC00 && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) < 0xE000) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// --- folders

std::string GetProgramDir()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string exe(buf, static_cast<size_t>(n));
    return exe.substr(0, exe.find_last_of('/') + 1);
}

void GetDefaultFolders(std::string& settingsDir, std::string& documentsDir, std::string& progFilesDir)
{
    std::string config = XdgConfigHome();
    settingsDir = config.empty() ? GetProgramDir() : Slash(config) + "Vastrel6/";
    documentsDir = Slash(DocumentsDir());
    progFilesDir = "/usr/bin/";
}

std::string ReadIniPathFromRegistry(const std::string& defaultValue)
{
    std::string value;
    if (RegReadString(TRegRoot::User, "Software\\Vastrel6", "IniPath", value) && !value.empty())
        return value;
    return defaultValue;
}

void MigrateOldSettings(const std::string& appDataDir, const std::string& fileName)
{
    struct stat st
    {
    };
    if (::stat(fileName.c_str(), &st) == 0)
        return;
    std::string old = Slash(appDataDir) + "Vastrel5/" + fileName.substr(fileName.find_last_of('/') + 1);
    if (::stat(old.c_str(), &st) != 0)
        return;
    try {
        CopyFileBuffered(old, fileName, -1, 262144);
    } catch (const std::exception&) {
        // a failed take-over leaves the new settings empty, as on a first start
    }
}

std::string GetUsableDir(const std::string& dir, const std::string& defaultDir)
{
    if (!dir.empty() && ForceDirs(dir))
        return dir;
    return defaultDir;
}

std::string GetProgTempDir()
{
    std::string temp = Slash(TempDir());
    std::string dir = temp + "Qv-" + std::to_string(::getuid()) + "/";
    if (!IsDir(dir))
        ::mkdir(dir.c_str(), 0700);
    struct stat st
    {
    };
    // Only a folder of our own counts (the temporary folder is shared by all users).
    if (::lstat(dir.substr(0, dir.size() - 1).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid())
        return dir;
    return temp;
}

std::string GetLogDir()
{
    std::string dir = ProgSettings.Directories.LogDir;
    if (dir.empty())
        dir = SettingsDir;
    if (dir.empty())
        dir = XdgConfigHome();
    return Slash(dir);
}

// --- help

std::string GetHelpFileName()
{
    std::vector<std::string> folders;
    if (const char* dir = std::getenv("VASTREL_HELP_DIR"); dir && *dir)
        folders.push_back(Slash(dir));
    const std::string progDir = GetProgramDir();
    folders.push_back(progDir);
    if (!progDir.empty())
        folders.push_back(progDir + "../share/vastrel/help/");
    const std::string defaultName = "qve-help.html";
    const std::string translated = _("qve-help.html");
    for (const auto& folder : folders)
        for (const auto& name : {translated, defaultName}) {
            struct stat st
            {
            };
            if (::stat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                return folder + name;
        }
    return progDir + defaultName;
}

std::string FileUrl(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            url += ch;
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

void SetHelpErrorHandler(std::function<void(const std::string&)> handler)
{
    HelpErrorHandler = std::move(handler);
}

void OpenHelpTopic(const std::string& topic)
{
    std::string page = GetHelpFileName();
    std::string anchor;
    if (!topic.empty()) {
        std::string name = topic;
        if (auto hash = name.find('#'); hash != std::string::npos) {
            anchor = name.substr(hash);
            name.resize(hash);
        }
        while (!name.empty() && name[0] == '/')
            name.erase(0, 1);
        if (!name.empty())
            page = page.substr(0, page.find_last_of('/') + 1) + name;
    }
    bool ok = false;
    struct stat st
    {
    };
    if (::stat(page.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        try {
            TProcessHandle pid = StartProcess({"xdg-open", FileUrl(page) + anchor}, "");
            // xdg-open hands the page on and ends; one still running after a while has got that far.
            uint32_t rc = WaitForProcess(pid, 5000, true);
            ok = rc == 0 || rc == WaitTimeoutResult;
        } catch (const EProcessError&) {
            ok = false;
        }
    }
    if (ok)
        return;
    const std::string message = _("Help is not available on this system!");
    if (HelpErrorHandler)
        HelpErrorHandler(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

// --- lock file

bool CreateLockFile(const std::string& dir, const std::string& taskName)
{
    FLockName = Slash(dir) + LockFileName;
    struct stat st
    {
    };
    if (::lstat(FLockName.c_str(), &st) == 0)
        return false;
    uint32_t code = 0;
    int fd = CreateLockedFile(FLockName, code);
    if (fd < 0)
        return false;
    FLockFd = fd;
    std::string bytes = Utf8ToUtf16LeBytes(taskName);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // the handle stays remembered, so that DeleteLockFile removes the file
        done += static_cast<size_t>(n);
    }
    return true;
}

void DeleteLockFile()
{
    if (FLockFd >= 0) {
        ReleaseLockedFile(FLockFd);
        FLockFd = -1;
    }
    if (FLockName.empty())
        return;
    if (IsFileLockHeld(FLockName))
        return; // another live run holds it
    ::unlink(FLockName.c_str());
}

bool ReadLockFile(const std::string& dir, std::string& taskName, TDateTime& startTime)
{
    taskName.clear();
    startTime = Now();
    FLockName = Slash(dir) + LockFileName;
    FLockFd = -1;
    struct stat st
    {
    };
    if (::stat(FLockName.c_str(), &st) != 0)
        return false;
    bool ok = false;
    startTime = GetFileUtcDateTime(FLockName);
    std::string bytes;
    if (ReadWholeFile(FLockName, bytes)) {
        bytes.resize(bytes.size() / 2 * 2);
        taskName = Utf16LeBytesToUtf8(bytes);
        ok = true;
    }
    // A lock file left behind is removed; one that a live run holds stays.
    if (!IsFileLockHeld(FLockName))
        ::unlink(FLockName.c_str());
    return ok;
}

bool LockFileExists(const std::string& dir)
{
    struct stat st
    {
    };
    return ::lstat((Slash(dir) + LockFileName).c_str(), &st) == 0;
}

// --- task files

std::string GetTaskKindText(const std::string& taskFiles)
{
    std::string first = GetListItemAt(taskFiles, 0);
    std::string ext = ExtractExtension(TrimBlanksAndQuotes(first));
    if (!ext.empty() && ext[0] == '.')
        ext = ext.substr(1);
    if (utf8::SameText(ext, "vfj"))
        return _("Verify task");
    if (utf8::SameText(ext, "rsj"))
        return _("Restore task");
    if (utf8::SameText(ext, "cuj"))
        return _("Cleanup task");
    return _("Backup task");
}

int GetLogModeFor(int kindBit)
{
    int mode = ProgSettings.LogSettings.LogMode;
    return (mode & kindBit) ? (mode & 0x47) : 0;
}

std::string DefaultZipName()
{
    return "QV-Zip-%date%";
}

std::string GetListItemAt(const std::string& text, int pos)
{
    // Items are separated by commas; Pos counts characters (code points) from 0.
    size_t start = 0;
    int cp = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        if (c == ',') {
            if (cp >= pos)
                return text.substr(start, i - start);
            start = i + 1;
        }
        ++cp;
    }
    return text.substr(start);
}

bool IsSpecialFile(bool check, const std::string& name)
{
    if (!check)
        return false;
    return utf8::SameText(name, "$TimeStamp.qvu") || utf8::SameText(name, "VssBackupDoc.xml");
}

bool IsLinkInfoFile(const std::string& fileName)
{
    std::string ext = ExtractExtension(fileName);
    if (!ext.empty() && ext[0] == '.')
        ext = ext.substr(1);
    return utf8::SameText(ext, "qvlink");
}

void DelaySeconds(int seconds)
{
    if (seconds < 1)
        return;
    for (int step = 0; step < seconds * 10; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        TThread::CheckSynchronize(0);
    }
}
