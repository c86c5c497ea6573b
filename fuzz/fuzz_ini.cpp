// The ini reader: text in any of the encodings it accepts (UTF-16 with either byte-order mark, UTF-8 with
// or without one, CR LF or LF lines), then every section and value read back.
#include <cstdint>
#include <string>

#include "FuzzUtil.h"
#include "foundation/IniFileUtils.h"
#include "rtl/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = fuzz::InputFile("in.ini", data, size);
    try {
        auto ini = TUnicodeIniFile::CreateForRead(file);
        TStringList sections;
        ini.ReadSections(sections);
        for (int i = 0; i < sections.Count() && i < 256; ++i) {
            TStringList keys;
            ini.ReadSection(sections[i], keys);
            for (int k = 0; k < keys.Count() && k < 256; ++k) {
                (void)ini.ReadString(sections[i], keys[k], "");
                (void)ini.ReadInteger(sections[i], keys[k], 0);
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}
