// Writes a zip archive of a folder tree or of one file as a zip backup does (folders, then deflated
// files, with the program's default buffer):
//   vastrel_zip_bench <source folder or file> <archive> [password] [segment size in MiB]
// An empty password writes a plain archive; a password writes AES-256 entries. Exit code 0 on success.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ExtFileToolsZipWrite.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <source> <archive> [password] [segment MiB]\n", argv[0]);
        return 2;
    }
    fs::path source = fs::absolute(argv[1]);
    std::string archive = argv[2];
    std::string password = argc > 3 ? argv[3] : "";
    int64_t segment = argc > 4 ? std::atoll(argv[4]) * 1048576 : 0;
    constexpr int BufferSize = 4194304;

    std::vector<fs::path> dirs, files;
    fs::path base = source;
    if (fs::is_regular_file(source)) {
        files.push_back(source);
        base = source.parent_path();
    } else {
        for (const auto& entry : fs::recursive_directory_iterator(source)) {
            if (entry.is_directory())
                dirs.push_back(entry.path());
            else if (entry.is_regular_file())
                files.push_back(entry.path());
        }
    }
    try {
        TZipWrite zip(archive, base.string(), segment, password, password.empty() ? 0 : 3, BufferSize);
        for (const auto& d : dirs)
            zip.AddDir(d.string());
        for (const auto& f : files)
            zip.AddFile(f.string(), true);
        zip.WriteDirectory();
    } catch (const EZipError& e) {
        std::fprintf(stderr, "%s: error word %#x %s\n", e.Message().c_str(), e.ZipError,
                     e.SysErrorMsg.c_str());
        return 1;
    }
    return 0;
}
