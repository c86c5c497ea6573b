// The server-side directory, file and time-stamp operations of TExtFtp.
#include <chrono>
#include <fnmatch.h>
#include <sys/stat.h>
#include <thread>

#include "archive/FtpUtils.h"
#include "rtl/Thread.h"

namespace {

void Pause200()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

bool ContainsReplacementChar(const std::string& s)
{
    return s.find("\xEF\xBF\xBD") != std::string::npos;
}

// The item in double quotes at the start of text ("" counts as one quote), or text unchanged.
std::string Dequote(const std::string& text)
{
    if (text.empty() || text.front() != '"')
        return text;
    std::string result;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                result += '"';
                ++i;
                continue;
            }
            break;
        }
        result += text[i];
    }
    return result;
}

std::string TrimText(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int Levels(const std::string& path)
{
    int n = 1;
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/')
            ++n;
    return n;
}

} // namespace

void TExtFtp::ProcessMessages()
{
    TThread::CheckSynchronize(0);
}

std::vector<TFtpListItem> TExtFtp::FreshListing()
{
    fValidDirectoryListing = false;
    return List(true);
}

// --- directories

void TExtFtp::FtpChangeDir(const std::string& DName)
{
    fValidDirectoryListing = false;
    std::string name = ModifyName(DName);
    if (!fDir.empty() && StartsTextIgnoreCase(name, fDir))
        name = fDir + name.substr(fDir.size());
    ChangeDir(MakeQuotedPath(name));
}

void TExtFtp::ParseCurrentDirFromReply(const std::string& DName, bool& Result)
{
    const TLineReply& reply = LastReply();
    if (reply.Code == 250 || reply.Code == 200) {
        std::string text = reply.Text();
        std::string dir;
        size_t q = text.find('"');
        if (q != std::string::npos) {
            std::string rest = text.substr(q);
            dir = ReadNextQuotedItem(rest, ' ', '"');
            dir = Dequote(dir);
        } else {
            size_t s = text.find('/');
            if (s != std::string::npos)
                dir = text.substr(s);
        }
        dir = TrimText(dir);
        if (!dir.empty())
            fCurrentDir = RetrieveName(DecodeName(dir));
        else if (!DName.empty() && DName.front() == '/')
            fCurrentDir = DName;
        else
            Result = ReadCurrentDir(fCurrentDir);
    } else {
        FConn.Log().Error("Reported error:  - " + fIdError);
    }
}

bool TExtFtp::ChangeToDir(const std::string& DName)
{
    if (DName.empty())
        return true;
    bool result = false;
    try {
        FtpChangeDir(DName);
        result = true;
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
        if (e.IsConnectionLoss() && !Cancelled()) {
            FConn.Log().Error("Trying to reconnect - " + fIdError);
            Pause200();
            std::string back = fCurrentDir;
            if (DoConnect(1, false)) {
                try {
                    if (DName.front() != '/' && !back.empty())
                        FtpChangeDir(back);
                    FtpChangeDir(DName);
                    result = true;
                } catch (const ENetError& e2) {
                    SetIndyError(e2.Message());
                }
            }
        }
    }
    if (result)
        ParseCurrentDirFromReply(DName, result);
    FChangeDirResponse = LastReply().CodeAndText();
    return result;
}

int TExtFtp::ChangeToNewDir(const std::string& DName)
{
    if (DName.empty() || ChangeToDir(DName))
        return 0;
    try {
        MakeDir(MakeQuotedPath(ModifyName(DName)));
    } catch (const ENetError&) {
    }
    fIdError.clear();
    const TLineReply& reply = LastReply();
    FChangeDirResponse = reply.CodeAndText();
    if (reply.Code != 257 && reply.Code != 250 && reply.Code != 200) {
        SetIndyError(reply.CodeAndText());
        return ChangeToDir(DName) ? 1 : -1;
    }
    std::string text = reply.Text();
    std::string path;
    size_t last = text.rfind('"');
    size_t first = text.find('"');
    if (last != std::string::npos && first != last)
        path = Dequote(text.substr(first, last - first + 1));
    path = DecodeName(path);
    if (path.empty() || ContainsReplacementChar(path) || !StartsTextIgnoreCase(path, fCurrentDir))
        path = DName;
    else
        path = RetrieveName(path);
    return ChangeToDir(path) ? 1 : -1;
}

bool TExtFtp::ChangeOneDirUp()
{
    fValidDirectoryListing = false;
    bool ok = true;
    try {
        ChangeDirUp();
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
        ok = false;
    }
    FChangeDirResponse = LastReply().CodeAndText();
    fCurrentDir = GetCurrentDir();
    return ok;
}

bool TExtFtp::ForceDir(const std::string& DName)
{
    fDCount = 0;
    if (DName.empty()) {
        fCurrentDir = GetCurrentDir();
        return true;
    }
    std::string path = DName.size() > 1 ? ExcludeTrailingSlash(DName) : DName;
    try {
        FtpChangeDir(path);
        fDCount = Levels(path);
        fCurrentDir = GetCurrentDir();
        return true;
    } catch (const ENetError&) {
    }
    bool fromRemote = fDir.size() >= 2 && StartsTextIgnoreCase(ModifyName(path), fDir) &&
                      (path.size() == fDir.size() || path[fDir.size()] == '/' || fDir.back() == '/');
    bool absolute = path.front() == '/';
    bool ok = true;
    std::string rest;
    if (fromRemote) {
        try {
            ChangeDir(MakeQuotedPath(fDir));
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            fCurrentDir = GetCurrentDir();
            return false;
        }
        rest = path.substr(fDir.size());
        if (!rest.empty() && rest.front() == '/')
            rest.erase(0, 1);
    } else {
        size_t s = path.find('/', absolute ? 1 : 0);
        std::string firstLevel = path.substr(0, s);
        rest = s == std::string::npos ? std::string() : path.substr(s + 1);
        if (ChangeToNewDir(firstLevel) == -1)
            ok = false;
        else
            ++fDCount;
    }
    while (ok && !rest.empty()) {
        size_t s = rest.find('/');
        std::string level = rest.substr(0, s);
        rest = s == std::string::npos ? std::string() : rest.substr(s + 1);
        if (level.empty())
            continue;
        if (ChangeToNewDir(level) == -1)
            ok = false;
        else
            ++fDCount;
    }
    if (fromRemote || absolute)
        fDCount = 0;
    fCurrentDir = GetCurrentDir();
    return ok;
}

bool TExtFtp::ForceDirUp()
{
    fValidDirectoryListing = false;
    for (int i = 0; i < fDCount; ++i) {
        try {
            ChangeDirUp();
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            return false;
        }
    }
    fDCount = 0;
    fCurrentDir = GetCurrentDir();
    return true;
}

bool TExtFtp::SetRemoteDir(const std::string& Dir)
{
    bool ok = ForceDir(Dir);
    fValidDirectoryListing = false;
    return ok;
}

bool TExtFtp::ReadCurrentDir(std::string& Dir)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            Dir = RetrieveName(RetrieveCurrentDir());
            return true;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            Pause200();
            if (!e.IsConnectionLoss() || !FConn.Socket().IsOpen())
                return false;
        }
    }
    return false;
}

std::string TExtFtp::GetCurrentDir()
{
    std::string dir;
    if (ReadCurrentDir(dir))
        return dir;
    int attempts = 0;
    if (RetryAfterLoss(true, attempts, false) && ReadCurrentDir(dir))
        return dir;
    return "";
}

bool TExtFtp::DeleteDir(const std::string& DName)
{
    fValidDirectoryListing = false;
    try {
        RemoveDir(MakeQuotedPath(ModifyName(DName)));
        return true;
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
    } catch (const std::exception&) {
    }
    return false;
}

bool TExtFtp::EnterTreeFolder(const std::string& DName)
{
    fValidDirectoryListing = false;
    if (DName.empty())
        return true;
    std::string remembered = GetCurrentDir();
    try {
        FtpChangeDir(DName);
        return true;
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
    }
    try {
        if (!remembered.empty())
            FtpChangeDir(remembered);
    } catch (const ENetError&) {
    }
    return false;
}

bool TExtFtp::DeleteEmptyDirs(const std::string& DName, bool DelRoot, int& ADCount,
                              const TCancelStatusEvent& WasCanceled)
{
    if (!EnterTreeFolder(DName))
        return false;
    std::vector<std::string> subDirs;
    for (const TFtpListItem& item : FreshListing())
        if (item.ItemType == fitDirectory)
            subDirs.push_back(RetrieveName(item.Name));
    ProcessMessages();
    bool result = true;
    for (const std::string& name : subDirs) {
        if (!result)
            break;
        result = DeleteEmptyDirs(name, true, ADCount, WasCanceled);
    }
    ProcessMessages();
    if (WasCanceled)
        result = !WasCanceled();
    if (!DName.empty()) {
        size_t left = 0;
        if (result)
            left = FreshListing().size();
        try {
            ChangeDirUp();
            fValidDirectoryListing = false;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            result = false;
        }
        if (result && left == 0 && DelRoot) {
            result = DeleteDir(DName);
            if (result)
                ++ADCount;
        }
    }
    GetFileList();
    return result;
}

bool TExtFtp::DeleteTree(const std::string& DName, bool DelRoot, int& FCount)
{
    if (!EnterTreeFolder(DName))
        return false;
    std::vector<TFtpListItem> items = FreshListing();
    for (const TFtpListItem& item : items) {
        if (item.ItemType == fitDirectory)
            continue;
        try {
            Delete(MakeQuotedPath(item.Name));
            ++FCount;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
        }
        ProcessMessages();
    }
    fValidDirectoryListing = false;
    bool result = true;
    for (const TFtpListItem& item : items) {
        if (item.ItemType != fitDirectory)
            continue;
        if (!result)
            break;
        result = DeleteTree(RetrieveName(item.Name), true, FCount);
    }
    if (!DName.empty()) {
        try {
            ChangeDirUp();
            fValidDirectoryListing = false;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            return false;
        }
        if (DelRoot && result)
            result = DeleteDir(DName);
    }
    return result;
}

int TExtFtp::DirFiles(const std::string& DName)
{
    if (!DName.empty()) {
        try {
            FtpChangeDir(DName);
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            return 0;
        }
    }
    int count = 0;
    if (RefreshListing()) {
        std::vector<TFtpListItem> items = FListing;
        std::vector<std::string> dirs;
        for (const TFtpListItem& item : items) {
            if (item.ItemType == fitDirectory)
                dirs.push_back(RetrieveName(item.Name));
            else
                ++count;
        }
        for (const std::string& d : dirs)
            count += DirFiles(d);
    }
    if (!DName.empty())
        ChangeOneDirUp();
    return count;
}

// --- files

bool TExtFtp::DeleteFile(const std::string& FName, bool InitListing)
{
    if (InitListing)
        fValidDirectoryListing = false;
    int attempts = 0;
    for (;;) {
        try {
            Delete(MakeQuotedPath(ModifyName(FName)));
            return true;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            if (!e.IsConnectionLoss() || !RetryAfterLoss(true, attempts, false))
                return false;
        } catch (const std::exception&) {
            return false;
        }
    }
}

int TExtFtp::DeleteExistingFile(const std::string& FName)
{
    if (!FtpFileExists(FName))
        return 0;
    return DeleteFile(FName, true) ? 1 : -1;
}

int TExtFtp::DeleteMatchingFiles(const std::string& AMask)
{
    std::vector<std::string> names;
    for (int i = 0; i < FList->Count(); ++i)
        if (fnmatch(AMask.c_str(), FList->Strings(i).c_str(), FNM_CASEFOLD) == 0)
            names.push_back(FList->Strings(i));
    for (const std::string& name : names)
        DeleteFile(name, true);
    return static_cast<int>(names.size());
}

int TExtFtp::DeleteSubDirFile(const std::string& ADir, const std::string& FName)
{
    int result = 0;
    try {
        FtpChangeDir(ADir);
        TFileList files;
        if (GetFileList(&files)) {
            if (files.IndexOfListed(ModifyName(FName)) >= 0)
                result = DeleteFile(FName, true) ? 1 : 0;
            else
                result = 2;
        }
        ChangeOneDirUp();
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
    return result;
}

bool TExtFtp::RenameFile(const std::string& OldName, const std::string& NewName, bool InitListing)
{
    if (InitListing)
        fValidDirectoryListing = false;
    int attempts = 0;
    for (;;) {
        try {
            Rename(MakeQuotedPath(ModifyName(OldName)), MakeQuotedPath(ModifyName(NewName)));
            fValidDirectoryListing = false;
            return true;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            if (!e.IsConnectionLoss() || !RetryAfterLoss(true, attempts, false))
                return false;
            // The rename may have gone through before the connection broke.
            fValidDirectoryListing = false;
            if (FtpFileExists(NewName))
                return true;
        } catch (const std::exception&) {
            return false;
        }
    }
}

int64_t TExtFtp::GetSize(TFileList* AFileList, const std::string& FName)
{
    if (!AFileList)
        return 0;
    int i = AFileList->IndexOfListed(ModifyName(FName));
    return i < 0 ? 0 : AFileList->Objects(i)->FSize;
}

bool TExtFtp::CheckSize(const std::string& FName, int64_t ASize)
{
    return GetSize(FName) != ASize;
}

// --- time stamps

TDateTime TExtFtp::GetModTime(const std::string& AFileName, bool AsGMT)
{
    TDateTime t = 0;
    try {
        if (!FileDate(AFileName, t))
            return 0;
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
        return 0;
    }
    if (AsGMT)
        return t;
    bool utcServer = IsExtSupported("MFMT") || StartsTextIgnoreCase(Greeting(), "Serv-U ") ||
                     StartsTextIgnoreCase(Greeting(), "BPFTP Server ");
    const std::vector<std::string>& caps = Capabilities();
    for (size_t i = 1; i < caps.size() && !utcServer; ++i)
        utcServer = caps[i] == "MDTM YYYYMMDDHHMMSS[+-TZ];filename" ||
                    caps[i] == "MDTM YYYYMMDDHHMMSS[+-TZ] filename";
    return utcServer ? UtcToLocal(t) : t;
}

TDateTime TExtFtp::GetTimeStamp(TFileList* AFileList, const std::string& FName, bool AsGMT)
{
    if (!AFileList)
        return 0;
    std::string serverName = ModifyName(FName);
    int i = AFileList->IndexOfListed(serverName);
    if (i < 0)
        return 0;
    const TFtpFileInfo* info = AFileList->Objects(i);
    TDateTime t = AsGMT ? info->FModifiedDateGMT : info->FModifiedDate;
    if (!FeatReceived() || !SupportsMLSD() || t < 1.0)
        t = GetModTime(serverName, AsGMT);
    return t;
}

int TExtFtp::CheckTimeStamp(const std::string& FName, TDateTime tm, int Delta, TDateTime& fdt, bool AsGMT)
{
    fdt = GetTimeStamp(FName, AsGMT);
    if (fdt <= 1.0)
        return 0;
    double delta = Delta / 86400.0;
    if (fdt < tm - delta)
        return 1;
    if (fdt > tm + delta)
        return 3;
    return 2;
}

int TExtFtp::CheckTimeStamp(const std::string& FName, TDateTime tm, int Delta, bool AsGMT)
{
    TDateTime fdt;
    return CheckTimeStamp(FName, tm, Delta, fdt, AsGMT);
}

bool TExtFtp::SetTimeStamp(const std::string& FName, TDateTime ATime, bool UseGMT)
{
    std::string name = MakeQuotedPath(ModifyName(FName));
    try {
        if (FeatReceived() && SupportsMLSD() && UseGMT)
            SetModTimeGMT(name, ATime);
        else
            SetModTime(name, ATime + TimeOffset / 1440.0);
        return true;
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
    } catch (const std::exception&) {
    }
    return false;
}

bool TExtFtp::SetTimeStampFromFile(const std::string& ASourceFile, const std::string& FName, bool CheckTime)
{
    struct stat st;
    if (::stat(ASourceFile.c_str(), &st) != 0)
        return false; // no time to give: the server file keeps its own
    TDateTime t = UnixToLocalDateTime(st.st_mtim.tv_sec) + (st.st_mtim.tv_nsec / 1000000) / 86400000.0;
    TDateTime now = Now();
    if (CheckTime && t > now + 1)
        t = now;
    return SetTimeStamp(FName, t, false);
}

uint64_t TExtFtp::GetLocalFileTime(TFileList* AFileList, const std::string& FName)
{
    TDateTime t = GetTimeStamp(AFileList, FName, false);
    if (t <= 0)
        return 0;
    return DateTimeToFileTime(t);
}
