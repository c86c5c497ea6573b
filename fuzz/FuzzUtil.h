#pragma once
// Shared pieces of the fuzz harnesses: the input as a file, and a sink that takes a bounded amount.

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/Streams.h"

namespace fuzz {

// A folder of this process for input files (on /dev/shm when there is one).
inline const std::string& WorkDir()
{
    static const std::string dir = [] {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string d = base + "/vastrel-fuzz-" + std::to_string(::getpid());
        ::mkdir(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

// Writes the input to WorkDir()/name and returns the path.
inline std::string InputFile(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = WorkDir() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    return path;
}

// Takes what is written up to a limit and refuses the rest, so an archive that inflates without end
// ends with a write error instead of filling the memory.
class TBoundedSink : public TStream
{
public:
    explicit TBoundedSink(int64_t limit) : FLimit(limit) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override
    {
        if (FSize + count > FLimit)
            return 0;
        FSize += count;
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        FPos = origin == soBeginning ? offset : origin == soCurrent ? FPos + offset : FSize + offset;
        return FPos;
    }
    int64_t GetSize() override { return FSize; }

private:
    int64_t FLimit;
    int64_t FSize = 0;
    int64_t FPos = 0;
};

} // namespace fuzz
