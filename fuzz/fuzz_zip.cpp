// The zip reader on arbitrary archives: the central directory (with Zip64 and split-archive records),
// entry names, and the extraction of every entry (stored, deflated, AES and ZipCrypto encrypted).
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzUtil.h"
#include "archive/ExtFileToolsZipRead.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        TZipRead zip(std::make_unique<TMemoryStream>(std::string(reinterpret_cast<const char*>(data), size)),
                     "password", 0, 4096);
        zip.ReadDirectory();
        const TZipFileList& list = zip.Directory();
        for (int i = 0; i < list.Count() && i < 64; ++i) {
            (void)zip.Filename(i);
            if (list.Objects(i)->USize > (int64_t(16) << 20))
                continue;
            try {
                fuzz::TBoundedSink sink(int64_t(16) << 20);
                if (zip.IsEncrypted(i))
                    zip.ExtractToFile(i, fuzz::WorkDir() + "/entry", false);
                else
                    zip.ExtractToStream(list.Strings(i), sink);
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}
