// Runs the per-file engine over a folder tree, one worker per file as a backup run does:
//   vastrel_engine_bench gz|enc|gunzip|dec <source folder or file> <destination folder> [password]
// gz writes "<name>.gz", enc "<name>.enc" (AES-256); gunzip and dec restore them. Exit code 0 when every
// file succeeded.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/ExtFileTools.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s gz|enc|gunzip|dec <source> <destination> [password]\n", argv[0]);
        return 2;
    }
    std::string mode = argv[1];
    fs::path source = argv[2];
    fs::path dest = argv[3];
    std::string password = argc > 4 ? argv[4] : "benchmark password";
    constexpr int BufferSize = 4194304; // the program's default copy buffer
    auto crypt = std::make_unique<TEncryption>(password, 3, BufferSize);

    std::vector<fs::path> files;
    if (fs::is_regular_file(source)) {
        files.push_back(source.filename());
        source = source.parent_path();
    } else {
        for (const auto& entry : fs::recursive_directory_iterator(source))
            if (entry.is_regular_file())
                files.push_back(fs::relative(entry.path(), source));
    }
    int failures = 0;
    fs::path lastFolder;
    for (const fs::path& rel : files) {
        fs::path in = source / rel;
        fs::path out = dest / rel;
        if (out.parent_path() != lastFolder) { // each folder once, as a backup run makes them
            lastFolder = out.parent_path();
            fs::create_directories(lastFolder);
        }
        std::unique_ptr<TCopyThread> worker;
        TCopyOptions options{coOverwrite, coAttributes, coTimeStamp};
        if (mode == "gz") {
            out += ".gz";
            worker = std::make_unique<TWinCopyThread>(in, out, nullptr, options.Include(coCompress), true,
                                                      BufferSize);
        } else if (mode == "enc") {
            out += ".enc";
            worker = std::make_unique<TWinCopyThread>(in, out, crypt.get(), options, true, BufferSize);
        } else if (mode == "gunzip" || mode == "dec") {
            out.replace_extension();
            if (mode == "gunzip")
                worker = std::make_unique<TGUnZipThread>(in, out, nullptr, true, BufferSize);
            else
                worker = std::make_unique<TDecryptThread>(in, out, crypt.get(), true, BufferSize);
            worker->SetOverwrite(true);
        } else {
            std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
            return 2;
        }
        worker->Start();
        WaitForCopyThread(*worker, 0);
        if (worker->ErrorCode() != 0) {
            std::fprintf(stderr, "%s: error word %#x %s\n", in.c_str(), worker->ErrorCode(),
                         worker->SysErrorMsg().c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
