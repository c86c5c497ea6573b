// Entry-name code pages, extension tests, zip probes and split archives.
#include "archive/ExtFileTools.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "archive/LittleEndian.h"
#include "foundation/FileUtils.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Clock.h"

using LittleEndian::Get16;
using LittleEndian::Get32;
using LittleEndian::Get64;

namespace {

struct CodeTables
{
    uint8_t ansiToOem[128];
    uint8_t oemToAnsi[128];
    CodeTables()
    {
        static const uint8_t toOem[][2] = {
            {0xA1, 0xAD}, {0xA2, 0x9B}, {0xA3, 0x9C}, {0xA5, 0x9D}, {0xA7, 0x15}, {0xAB, 0xAE}, {0xAC, 0xAA},
            {0xB0, 0xF8}, {0xB1, 0xF1}, {0xB2, 0xFD}, {0xB5, 0xE6}, {0xB6, 0x14}, {0xBB, 0xAF}, {0xBC, 0xAC},
            {0xBD, 0xAB}, {0xBF, 0xA8}, {0xC4, 0x8E}, {0xC5, 0x8F}, {0xC6, 0x92}, {0xC7, 0x80}, {0xC9, 0x90},
            {0xD1, 0xA5}, {0xD6, 0x99}, {0xDC, 0x9A}, {0xDF, 0xE1}, {0xE0, 0x85}, {0xE2, 0x83}, {0xE4, 0x84},
            {0xE5, 0x86}, {0xE6, 0x91}, {0xE7, 0x87}, {0xE8, 0x8A}, {0xE9, 0x82}, {0xEA, 0x88}, {0xEB, 0x89},
            {0xEC, 0x8D}, {0xED, 0xA1}, {0xEE, 0x8C}, {0xEF, 0x8B}, {0xF1, 0xA4}, {0xF2, 0x95}, {0xF3, 0xA2},
            {0xF4, 0x93}, {0xF6, 0x94}, {0xF7, 0xF6}, {0xF9, 0x97}, {0xFA, 0xA3}, {0xFB, 0x96}, {0xFC, 0x81},
            {0xFF, 0x98}};
        static const uint8_t toAnsi[][2] = {
            {0x80, 0xC7}, {0x81, 0xFC}, {0x82, 0xE9}, {0x83, 0xE2}, {0x84, 0xE4}, {0x85, 0xE0}, {0x86, 0xE5},
            {0x87, 0xE7}, {0x88, 0xEA}, {0x89, 0xEB}, {0x8A, 0xE8}, {0x8B, 0xEF}, {0x8C, 0xEE}, {0x8D, 0xEC},
            {0x8E, 0xC4}, {0x8F, 0xC5}, {0x90, 0xC9}, {0x91, 0xE6}, {0x92, 0xC6}, {0x93, 0xF4}, {0x94, 0xF6},
            {0x95, 0xF2}, {0x96, 0xFB}, {0x97, 0xF9}, {0x98, 0xFF}, {0x99, 0xD6}, {0x9A, 0xDC}, {0x9B, 0xA2},
            {0x9C, 0xA3}, {0x9D, 0xA5}, {0xA0, 0xE1}, {0xA1, 0xED}, {0xA2, 0xF3}, {0xA3, 0xFA}, {0xA4, 0xF1},
            {0xA5, 0xD1}, {0xA8, 0xBF}, {0xAA, 0xAC}, {0xAB, 0xBD}, {0xAC, 0xBC}, {0xAD, 0xA1}, {0xAE, 0xAB},
            {0xAF, 0xBB}, {0xB3, 0xA6}, {0xE1, 0xDF}, {0xE6, 0xB5}, {0xF1, 0xB1}, {0xF4, 0xB6}, {0xF5, 0xA7},
            {0xF6, 0xF7}, {0xF8, 0xB0}, {0xFA, 0xB7}, {0xFD, 0xB2}, {0xFF, 0xA0}};
        std::memset(ansiToOem, 0x20, sizeof ansiToOem);
        std::memset(oemToAnsi, 0xD7, sizeof oemToAnsi);
        for (const auto& p : toOem)
            ansiToOem[p[0] - 0x80] = p[1];
        for (const auto& p : toAnsi)
            oemToAnsi[p[0] - 0x80] = p[1];
    }
};

const CodeTables& Tables()
{
    static const CodeTables tables;
    return tables;
}

// Decodes UTF-8 into code points; false for invalid UTF-8.
bool DecodeUtf8(const std::string& text, std::u32string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size() + (extra == 0 ? 1 : 0))
            return false;
        char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
        for (int k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000))
            return false;
        out += cp;
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string LowerExt(const std::string& fileName)
{
    std::string ext = EngineFs::ExtractFileExt(fileName);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

uint32_t CopyOneFile(const std::string& src, const std::string& dest)
{
    try {
        CopyFileBuffered(src, dest, -1, 262144);
        return 0;
    } catch (const ECopyError& e) {
        return static_cast<uint32_t>(e.ErrorCode);
    }
}

} // namespace

TZipNameForm ZipNameForm(const std::string& name)
{
    TZipNameForm form;
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return form;
    std::u32string cps;
    if (DecodeUtf8(name, cps))
        form.Flags = 0x800;
    form.HostSystem = ZipHostUnix;
    return form;
}

std::string DecodeZipEntryName(const std::string& stored, uint16_t flags, uint8_t hostSystem)
{
    if (flags & 0x800)
        return stored;
    // MS-DOS, OS/2 HPFS, Windows NTFS and VFAT
    bool dosHost = hostSystem == 0 || hostSystem == 6 || hostSystem == 11 || hostSystem == 14;
    return dosHost ? AnsiToUtf8(OemToAnsiName(stored)) : stored;
}

bool IsAnsiName(const std::string& name)
{
    std::u32string cps;
    if (!DecodeUtf8(name, cps))
        return false;
    return std::all_of(cps.begin(), cps.end(), [](char32_t c) { return c < 0x100; });
}

bool IsOemName(const std::string& name)
{
    std::u32string cps;
    if (!DecodeUtf8(name, cps))
        return false;
    for (char32_t c : cps) {
        if (c >= 0x100)
            return false;
        if (c >= 0x80 && Tables().ansiToOem[c - 0x80] < 33)
            return false;
    }
    return true;
}

std::string AnsiToOemName(const std::string& ansiBytes)
{
    std::string out = ansiBytes;
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80)
            c = static_cast<char>(Tables().ansiToOem[b - 0x80]);
    }
    return out;
}

std::string OemToAnsiName(const std::string& oemBytes)
{
    std::string out = oemBytes;
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80)
            c = static_cast<char>(Tables().oemToAnsi[b - 0x80]);
        else if (b == 0x15)
            c = static_cast<char>(0xA7);
        else if (b == 0x14)
            c = static_cast<char>(0xB6);
    }
    return out;
}

std::string Utf8ToAnsi(const std::string& utf8)
{
    std::u32string cps;
    if (!DecodeUtf8(utf8, cps))
        return utf8;
    std::string out;
    for (char32_t c : cps)
        out += c < 0x100 ? static_cast<char>(c) : '?';
    return out;
}

std::string AnsiToUtf8(const std::string& ansi)
{
    std::string out;
    for (char ch : ansi) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string LastSystemErrorText()
{
    return SystemErrorTextOf(LastWinError());
}

bool IsGzFile(const std::string& fileName)
{
    return LowerExt(fileName) == ".gz";
}

bool IsGzeFile(const std::string& fileName)
{
    return LowerExt(fileName) == ".gze";
}

bool IsEncFile(const std::string& fileName)
{
    return LowerExt(fileName) == ".enc";
}

bool IsZipFile(const std::string& fileName)
{
    return LowerExt(fileName) == ".zip";
}

// --- probes

bool ReadZipLocalHeader(TStream& stream, TZipFileInfo& info, uint8_t hostSystem)
{
    try {
        uint8_t h[30];
        stream.ReadBuffer(h, 30);
        if (Get32(h) != 0x04034B50)
            return false;
        info.Flag = Get16(h + 6);
        info.Method = Get16(h + 8);
        info.TimeStamp = Get32(h + 10);
        info.Crc = Get32(h + 14);
        uint32_t cSize32 = Get32(h + 18);
        uint32_t uSize32 = Get32(h + 22);
        info.CSize = cSize32;
        info.USize = uSize32;
        info.KeyMode = 0;
        std::string name(Get16(h + 26), '\0');
        if (!name.empty())
            stream.ReadBuffer(name.data(), static_cast<int64_t>(name.size()));
        name = DecodeZipEntryName(name, info.Flag, hostSystem);
        std::replace(name.begin(), name.end(), '\\', '/');
        info.Filename = name;
        std::string extra(Get16(h + 28), '\0');
        if (!extra.empty())
            stream.ReadBuffer(extra.data(), static_cast<int64_t>(extra.size()));
        const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
        size_t at = 0;
        while (at + 4 <= extra.size()) {
            uint16_t id = Get16(p + at);
            size_t size = Get16(p + at + 2);
            const uint8_t* data = p + at + 4;
            if (at + 4 + size > extra.size())
                break;
            if (id == 1) {
                size_t used = 0;
                if (uSize32 == 0xFFFFFFFF && used + 8 <= size) {
                    info.USize = static_cast<int64_t>(Get64(data + used));
                    used += 8;
                }
                if (cSize32 == 0xFFFFFFFF && used + 8 <= size)
                    info.CSize = static_cast<int64_t>(Get64(data + used));
            } else if (id == 0x9901 && size >= 5) {
                info.KeyMode = data[4];
            }
            at += 4 + size;
        }
        return true;
    } catch (...) {
        return false;
    }
}

namespace {

// The entry count and the directory offset from the end records; false when there are none.
bool ReadEndRecords(TStream& stream, int64_t& count, int64_t& directoryOffset)
{
    int64_t size = stream.GetSize();
    if (size < 22)
        return false;
    uint8_t end[22];
    stream.Seek(size - 22, soBeginning);
    stream.ReadBuffer(end, 22);
    if (Get32(end) != 0x06054B50)
        return false;
    count = Get16(end + 10);
    directoryOffset = Get32(end + 16);
    if (Get32(end + 12) == 0xFFFFFFFF || Get32(end + 16) == 0xFFFFFFFF || count == 0xFFFF) {
        if (size < 42)
            return false;
        uint8_t locator[20];
        stream.Seek(size - 42, soBeginning);
        stream.ReadBuffer(locator, 20);
        if (Get32(locator) != 0x07064B50)
            return false;
        uint8_t record[56];
        stream.Seek(static_cast<int64_t>(Get64(locator + 8)), soBeginning);
        stream.ReadBuffer(record, 56);
        if (Get32(record) != 0x06064B50)
            return false;
        count = static_cast<int64_t>(Get64(record + 32));
        directoryOffset = static_cast<int64_t>(Get64(record + 48) & 0x7FFFFFFFFFFFFFFFULL);
    }
    return true;
}

// The system that made the first entry, from its central header (the DOS system when unknown).
uint8_t FirstEntryHost(TStream& stream)
{
    try {
        int64_t count = 0, offset = 0;
        if (!ReadEndRecords(stream, count, offset) || count < 1)
            return ZipHostDos;
        uint8_t central[6];
        stream.Seek(offset, soBeginning);
        stream.ReadBuffer(central, 6);
        return Get32(central) == 0x02014B50 ? central[5] : ZipHostDos;
    } catch (...) {
        return ZipHostDos;
    }
}

} // namespace

int64_t GetZipEntryCount(TStream& stream)
{
    try {
        int64_t count = 0, offset = 0;
        if (!ReadEndRecords(stream, count, offset))
            return -1;
        stream.Seek(0, soBeginning);
        return count;
    } catch (...) {
        return -1;
    }
}

int GetZipFileInfo(const std::string& fileName, TGzFileInfo& info)
{
    int result = 2;
    if (!EngineFs::Exists(fileName, true))
        return result;
    auto stream = OpenReadStream(fileName);
    info.UnixTime = static_cast<uint32_t>(LocalNowAsUnix());
    info.Count = GetZipEntryCount(*stream);
    TZipFileInfo zip;
    uint8_t host = info.Count > 0 ? FirstEntryHost(*stream) : ZipHostDos;
    if (info.Count > 0 && stream->Seek(0, soBeginning) == 0 && ReadZipLocalHeader(*stream, zip, host)) {
        info.Filename = zip.Filename;
        info.UnixTime = static_cast<uint32_t>(DosTimeToUnixTime(zip.TimeStamp));
        info.Encrypted = (zip.Flag & 1) != 0;
        info.CSize = zip.CSize;
        info.USize = zip.USize;
        info.EncMode = zip.KeyMode;
        result = (info.Count == 1 && (zip.Flag & 0x0080)) ? 0 : 1;
    }
    if (result != 2)
        info.Attr = static_cast<uint16_t>(EngineFs::GetAttributes(fileName) & 0xFFFF);
    return result;
}

bool IsSingleFileZip(const std::string& name)
{
    TGzFileInfo info;
    try {
        return GetZipFileInfo(name + ".zip", info) == 0;
    } catch (...) {
        return false;
    }
}

bool GetZipEncryption(const std::string& zipName, int& keyMode)
{
    keyMode = -1;
    std::string first = GetZipSegmentCount(zipName) > 0 ? GetZipSegmentName(zipName, 0) : zipName;
    auto stream = OpenReadStream(first);
    uint8_t marker[4] = {};
    if (stream->Read(marker, 4) != 4 || Get32(marker) != 0x08074B50)
        stream->Seek(0, soBeginning);
    TZipFileInfo info;
    if (!ReadZipLocalHeader(*stream, info))
        return false;
    keyMode = info.KeyMode;
    return (info.Flag & 1) != 0;
}

// --- split archives

std::string GetZipSegmentName(const std::string& zipName, int index)
{
    std::string ext = EngineFs::ExtractFileExt(zipName);
    std::string base = zipName.substr(0, zipName.size() - ext.size());
    return base + SafeFormat(".z%.2d", {index + 1});
}

int GetZipSegmentCount(const std::string& zipName)
{
    try {
        auto stream = OpenReadStream(zipName);
        int64_t size = stream->GetSize();
        if (size < 22)
            return 0;
        uint8_t end[22];
        stream->Seek(size - 22, soBeginning);
        stream->ReadBuffer(end, 22);
        if (Get32(end) != 0x06054B50)
            return 0;
        if (Get16(end + 10) == 0xFFFF || Get32(end + 12) == 0xFFFFFFFF || Get32(end + 16) == 0xFFFFFFFF) {
            if (size < 42)
                return 0;
            uint8_t locator[20];
            stream->Seek(size - 42, soBeginning);
            stream->ReadBuffer(locator, 20);
            if (Get32(locator) != 0x07064B50)
                return 0;
            return static_cast<int>(Get32(locator + 16)) - 1;
        }
        return Get16(end + 4);
    } catch (...) {
        return 0;
    }
}

int64_t GetZipArchiveSize(const std::string& zipName)
{
    if (!EngineFs::Exists(zipName, true))
        return 0;
    int64_t total = XlGetFileSizeOf(zipName);
    int count = GetZipSegmentCount(zipName);
    for (int i = 0; i < count; ++i)
        total += XlGetFileSizeOf(GetZipSegmentName(zipName, i));
    return total;
}

uint32_t DeleteZipArchive(const std::string& zipName, int count)
{
    if (!EngineFs::Exists(zipName, true))
        return 0;
    if (count < 0)
        count = GetZipSegmentCount(zipName);
    for (int i = 0; i < count; ++i) {
        if (uint32_t code = XlDeleteExistingFile(GetZipSegmentName(zipName, i), false))
            return code;
    }
    return XlDeleteExistingFile(zipName, false);
}

uint32_t CopyZipArchive(const std::string& src, const std::string& dest)
{
    if (!EngineFs::Exists(src, true))
        return WinError::ERROR_FILE_NOT_FOUND;
    int count = GetZipSegmentCount(src);
    for (int i = 0; i < count; ++i) {
        uint32_t code = CopyOneFile(GetZipSegmentName(src, i), GetZipSegmentName(dest, i));
        if (code != 0)
            return code;
    }
    return CopyOneFile(src, dest);
}

uint32_t RenameZipArchive(const std::string& src, const std::string& dest, uint32_t timeout)
{
    if (!EngineFs::Exists(src, true))
        return WinError::ERROR_FILE_NOT_FOUND;
    int count = GetZipSegmentCount(src);
    int tries = 0;
    for (int i = 0; i <= count; ++i) {
        std::string from = i < count ? GetZipSegmentName(src, i) : src;
        std::string to = i < count ? GetZipSegmentName(dest, i) : dest;
        uint32_t code;
        if (timeout == 0) {
            code = XlMoveFile(from, to);
        } else {
            for (;;) {
                code = XlMoveFile(from, to);
                ++tries;
                if (code == 0 || tries >= 26)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(timeout * 1000 / 25));
            }
        }
        if (code != 0)
            return code;
    }
    return 0;
}
