// The readers of single compressed or encrypted files, chosen by the first byte of the input:
//   0  gzip (.gz): header, inflation, trailer
//   1  encrypted gzip (.gze) with a password
//   2  encrypted file (.enc) with a password
//   3  single-file zip: local header and extraction
// Every mode also runs the header probes on the bytes in memory.
#include <cstdint>
#include <string>

#include "FuzzUtil.h"
#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipThreads.h"

namespace {

template <typename Worker> void Run(Worker& worker)
{
    worker.Start();
    WaitForCopyThread(worker, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int mode = data[0] % 4;
    ++data;
    --size;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        TMemoryStream probe(bytes);
        std::string name;
        uint32_t unixTime = 0;
        int keyMode = 0;
        int64_t cSize = 0, uSize = 0;
        ReadGzHeader(probe, name, unixTime, keyMode, cSize, uSize);
        probe.SetPosition(0);
        TEncHeader header;
        ReadEncHeader(probe, keyMode, header);
        probe.SetPosition(0);
        TZipFileInfo info;
        ReadZipLocalHeader(probe, info);
    } catch (const std::exception&) {
    }
    static const char* const names[] = {"in.gz", "in.gze", "in.enc", "in.zip"};
    const std::string src = fuzz::InputFile(names[mode], data, size);
    const std::string dst = fuzz::WorkDir() + "/out";
    try {
        TGzFileInfo info;
        if (mode == 0 || mode == 1)
            GetGzFileInfo(src, info);
        else if (mode == 2)
            GetEncFileInfo(src, info);
        else
            GetZipFileInfo(src, info);
        TEncryption encryption("password", 1, 4096);
        if (mode == 0) {
            TGUnZipThread worker(src, dst, nullptr, true, 4096);
            Run(worker);
        } else if (mode == 1) {
            TGUnZipThread worker(src, dst, &encryption, true, 4096);
            Run(worker);
        } else if (mode == 2) {
            TDecryptThread worker(src, dst, &encryption, true, 4096);
            Run(worker);
        } else {
            TUnZipThread worker(src, dst, &encryption, true, 4096);
            Run(worker);
        }
    } catch (const std::exception&) {
    }
    ::unlink(dst.c_str());
    return 0;
}
