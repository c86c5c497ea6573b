// Writes seeds for fuzz_single_file that no other tool makes: encrypted gzip (.gze), encrypted files
// (.enc) and AES single-file zips, each as the harness reads them (a mode byte, then the file).
// Usage: make_seeds <folder>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"

namespace {

std::string ReadAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Make(const std::string& folder, const std::string& name, char mode, TCopyOptions options, int keyMode)
{
    const std::string src = folder + "/plain.txt";
    std::ofstream(src, std::ios::binary)
        << "Vastrel seed: some text that compresses, compresses, compresses.\n";
    const std::string dst = folder + "/" + name + ".tmp";
    TEncryption encryption("password", keyMode, 4096);
    TWinCopyThread worker(src, dst, keyMode > 0 ? &encryption : nullptr, options, true, 4096);
    worker.SetTempDir(folder);
    worker.Start();
    WaitForCopyThread(worker, 0);
    const bool ok = worker.ErrorCode() == 0;
    if (ok)
        std::ofstream(folder + "/" + name, std::ios::binary) << mode << ReadAll(dst);
    std::remove(dst.c_str());
    std::remove(src.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const TCopyOptions none;
    bool ok = true;
    for (int keyMode : {1, 2, 3}) {
        const std::string k = std::to_string(keyMode);
        ok &= Make(folder, "gze-" + k, 1, TCopyOptions(none).Include(coCompress), keyMode);
        ok &= Make(folder, "enc-" + k, 2, none, keyMode);
        ok &= Make(folder, "aes-zip-" + k, 3, TCopyOptions(none).Include(coZipCompress), keyMode);
    }
    return ok ? 0 : 1;
}
