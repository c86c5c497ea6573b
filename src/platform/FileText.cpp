#include "platform/FileText.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"

namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

std::string ParentDirOf(const std::string& path)
{
    auto pos = path.find_last_of('/');
    if (pos == std::string::npos)
        return ".";
    if (pos == 0)
        return "/";
    return path.substr(0, pos);
}

bool ReadWholeFile(const std::string& fileName, std::string& data)
{
    // Non-blocking, so that opening a FIFO cannot wait for a writer; it is refused below.
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string ReadSmallFile(const std::string& fileName)
{
    std::string data;
    ReadWholeFile(fileName, data);
    return data;
}

uint32_t ReplaceFileContents(const std::string& fileName, std::string_view data)
{
    std::string target = fileName;
    struct stat lst
    {
    };
    if (::lstat(fileName.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    struct stat old
    {
    };
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return WinError::ERROR_ACCESS_DENIED;

    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
               std::to_string(rd() % 100000) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return LastWinError();
    }
    if (fd < 0)
        return WinError::ERROR_ALREADY_EXISTS;
    bool ok = WriteAll(fd, data);
    if (ok && exists) {
        (void)!::fchown(fd, old.st_uid, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        uint32_t code = LastWinError();
        ::unlink(temp.c_str());
        return code ? code : WinError::ERROR_WRITE_FAULT;
    }
    return 0;
}

std::vector<TIniTextSection> ParseIniText(std::string_view text)
{
    std::vector<TIniTextSection> sections;
    TIniTextSection* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos
                  ? text.size()
                  : end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            std::string_view name = TrimBlanks(line.substr(1, line.size() - 2));
            current = nullptr;
            for (auto& s : sections)
                if (SameTextAscii(s.Name, name))
                    current = &s;
            if (!current) {
                sections.push_back({std::string(name), {}});
                current = &sections.back();
            }
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            current->Lines.emplace_back(line);
        else
            current->Lines.push_back(std::string(TrimBlanks(line.substr(0, eq))) + "=" +
                                     std::string(TrimBlanks(line.substr(eq + 1))));
    }
    return sections;
}
