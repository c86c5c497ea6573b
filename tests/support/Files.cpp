#include "support/Files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what, const fs::path& path, int err = 0)
{
    std::string msg = what + " \"" + path.string() + "\"";
    if (err)
        msg += std::string(": ") + std::strerror(err);
    throw std::runtime_error(msg);
}

} // namespace

std::string ReadFileBytes(const fs::path& file)
{
    std::error_code ec;
    if (!fs::exists(file, ec) && !ec)
        return {};
    if (fs::is_directory(file, ec))
        Fail("cannot read a folder", file);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        Fail("cannot open", file, errno);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        Fail("cannot read", file);
    return data;
}

void WriteFileBytes(const fs::path& file, const std::string& content)
{
    std::error_code ec;
    if (file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        Fail("cannot create", file, errno);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out)
        Fail("cannot write", file);
}
