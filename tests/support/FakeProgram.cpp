// A stand-in for external programs in tests; see FakeProgram.h for what it does and records.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string Escape(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += *p;
        }
    }
    return out;
}

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* record = std::getenv("VASTREL_FAKE_RECORD"); record && *record) {
        std::string text = "run=" + std::to_string(::getpid()) + "\n";
        std::string cwd(4096, '\0');
        while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE)
            cwd.resize(cwd.size() * 2);
        text += "cwd=" + Escape(cwd.c_str()) + "\n";
        for (int i = 0; i < argc; ++i)
            text += "arg=" + Escape(argv[i]) + "\n";
        for (char** e = environ; *e; ++e)
            text += "env=" + Escape(*e) + "\n";
        text += "end=\n";
        int fd = ::open(record, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0 || !WriteAll(fd, text)) {
            std::perror("fake program: cannot write the record");
            return 125;
        }
        ::close(fd);
    }
    if (const char* out = std::getenv("VASTREL_FAKE_STDOUT"))
        WriteAll(STDOUT_FILENO, out);
    if (const char* sleep = std::getenv("VASTREL_FAKE_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(sleep)));
    const char* code = std::getenv("VASTREL_FAKE_EXIT");
    return code ? std::atoi(code) : 0;
}
