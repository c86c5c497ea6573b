#pragma once
// Helpers of the task-file tests: task files written as UTF-16LE from UTF-8 text, read back as UTF-8.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "backup/TaskFile.h"
#include "foundation/StringUtils.h"
#include "support/Files.h"

namespace tasktest {

// UTF-8 text with "\n" line ends as a UTF-16LE file with BOM and CR LF.
inline std::string ToUtf16File(const std::string& text)
{
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        i += utf8::Decode(text, i, cp);
        auto put = [&out](char16_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (cp == U'\n')
            put(u'\r');
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// A UTF-16LE file as UTF-8 text with "\n" line ends.
inline std::string FromUtf16File(const std::string& data)
{
    std::string out;
    size_t i = data.size() >= 2 && data[0] == '\xFF' && data[1] == '\xFE' ? 2 : 0;
    for (; i + 1 < data.size(); i += 2) {
        char32_t u = static_cast<unsigned char>(data[i]) | (static_cast<unsigned char>(data[i + 1]) << 8);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < data.size()) {
            char32_t lo =
                static_cast<unsigned char>(data[i + 2]) | (static_cast<unsigned char>(data[i + 3]) << 8);
            u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
            i += 2;
        }
        if (u != U'\r')
            utf8::Append(out, u);
    }
    return out;
}

inline std::string Fixture(const std::string& name)
{
    if (const char* dir = std::getenv("VASTREL_SOURCE_DIR"))
        return std::string(dir) + "/tests/fixtures/" + name;
    return "tests/fixtures/" + name;
}

// Program settings with recognisable values.
inline TQvSettings TestSettings()
{
    TQvSettings s;
    s.CopySettings.NoCompress = "ZIP,JPG,MP3";
    s.CopySettings.CompMode = 1;
    s.CopySettings.BufferSize = 262144;
    s.CopySettings.FTPBufferSize = 65536;
    s.SecCopySettings.BakPrefix = "~";
    s.SecCopySettings.SyncPrefix = "_";
    s.SecCopySettings.BakSuffix = "bak";
    s.SecCopySettings.SyncSuffix = "sync";
    s.LogSettings.LogMode = 0x201;
    s.OtherSettings.DefDriveId = "Drv?";
    return s;
}

// A machine where every destination has one file system and nothing else is known.
class TFixedEnvironment : public TTaskEnvironment
{
public:
    explicit TFixedEnvironment(TFileSystem fs = fsExt4, int dirCount = 0) : FFs(fs), FDirCount(dirCount) {}
    TFileSystem FileSystemOf(const std::string&) const override { return FFs; }
    TOptionFacts OptionFacts(const TTaskSettings&) const override
    {
        TOptionFacts facts;
        facts.DirCount = FDirCount;
        return facts;
    }

private:
    TFileSystem FFs;
    int FDirCount;
};

} // namespace tasktest
