#include "foundation/IniFileUtils.h"

#include <climits>
#include <cstdlib>

#include "foundation/ExtSysUtils.h"
#include "platform/FileText.h"
#include "rtl/Gettext.h"

namespace {

// ---- text codecs

// Windows-1252 characters $80..$9F; the five unassigned bytes stay C1 controls.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80)
        out += static_cast<char>(c);
    else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when the bytes there are not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& c)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else
        return 0;
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return len;
}

bool IsValidUtf8(std::string_view s)
{
    char32_t c;
    for (size_t i = 0; i < s.size();) {
        size_t n = DecodeUtf8(s, i, c);
        if (!n)
            return false;
        i += n;
    }
    return true;
}

// UTF-8 (possibly with invalid bytes) to UTF-16 code units; an invalid byte b becomes U+DC00 + b.
std::u16string Utf8ToUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    char32_t c;
    for (size_t i = 0; i < s.size();) {
        size_t n = DecodeUtf8(s, i, c);
        if (!n) {
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(s[i]));
            ++i;
            continue;
        }
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else
            out += static_cast<char16_t>(c);
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00); // a byte that was not valid UTF-8
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string BytesToUtf16(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        out += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b);
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view s)
{
    std::string out;
    char32_t c;
    for (size_t i = 0; i < s.size();) {
        size_t n = DecodeUtf8(s, i, c);
        if (!n) {
            out += s[i++];
            continue;
        }
        i += n;
        char mapped = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            mapped = static_cast<char>(c);
        else
            for (int k = 0; k < 32; ++k)
                if (Cp1252High[k] == c)
                    mapped = static_cast<char>(0x80 + k);
        out += mapped;
    }
    return out;
}

std::string DecodeFile(std::string_view bytes, TIniEncoding& encoding)
{
    auto starts = [&](std::string_view bom) { return bytes.substr(0, bom.size()) == bom; };
    if (starts("\xEF\xBB\xBF")) {
        encoding = TIniEncoding::Utf8Bom;
        return std::string(bytes.substr(3));
    }
    if (starts("\xFF\xFE")) {
        encoding = TIniEncoding::Utf16LE;
        return Utf16ToUtf8(BytesToUtf16(bytes.substr(2), false));
    }
    if (starts("\xFE\xFF")) {
        encoding = TIniEncoding::Utf16BE;
        return Utf16ToUtf8(BytesToUtf16(bytes.substr(2), true));
    }
    if (IsValidUtf8(bytes)) {
        encoding = TIniEncoding::Utf8;
        return std::string(bytes);
    }
    encoding = TIniEncoding::Windows1252;
    return Cp1252ToUtf8(bytes);
}

std::string EncodeFile(std::string_view text, TIniEncoding encoding)
{
    switch (encoding) {
    case TIniEncoding::Utf8:
        return std::string(text);
    case TIniEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + std::string(text);
    case TIniEncoding::Windows1252:
        return Utf8ToCp1252(text);
    case TIniEncoding::Utf16LE:
    case TIniEncoding::Utf16BE:
        break;
    }
    const bool be = encoding == TIniEncoding::Utf16BE;
    std::u16string units = Utf8ToUtf16(text);
    std::string out = be ? "\xFE\xFF" : "\xFF\xFE";
    out.reserve(2 + units.size() * 2);
    for (char16_t u : units) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += be ? hi : lo;
        out += be ? lo : hi;
    }
    return out;
}

// ---- names, numbers, lines

std::string_view LineName(std::string_view line)
{
    size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

int FindKey(const std::vector<std::string>& lines, std::string_view ident)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t eq = lines[i].find('=');
        if (eq != std::string::npos && SameTextAscii(std::string_view(lines[i]).substr(0, eq), ident))
            return static_cast<int>(i);
    }
    return -1;
}

// Optional sign, then decimal digits, or "$", "0x" or "x" and hexadecimal digits.
bool TryStrToInt64(std::string_view text, int64_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$')
        base = 16, ++i;
    else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        base = 16, i += 2;
    else if (i < text.size() && (text[i] == 'x' || text[i] == 'X'))
        base = 16, ++i;
    if (i >= text.size())
        return false;
    uint64_t acc = 0;
    const uint64_t limit =
        negative ? uint64_t(INT64_MAX) + 1 : (base == 16 ? UINT64_MAX : uint64_t(INT64_MAX));
    for (; i < text.size(); ++i) {
        char ch = text[i];
        int d;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (base == 16 && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        else
            return false;
        if (acc > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base))
            return false;
        acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    // Hexadecimal text may spell a negative value in two's complement ($FFFFFFFFFFFFFFFF = -1).
    value = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
    return true;
}

} // namespace

// ---- TMemIniFile

TMemIniFile::TMemIniFile(std::string fileName) : FFileName(std::move(fileName))
{
    LoadFromFile();
}

void TMemIniFile::LoadFromFile()
{
    std::string data;
    if (!ReadWholeFile(FFileName, data))
        return;
    SetText(DecodeFile(data, FEncoding));
}

void TMemIniFile::SetText(std::string_view text)
{
    FSections.clear();
    for (auto& section : ParseIniText(text))
        FSections.push_back({std::move(section.Name), std::move(section.Lines)});
}

TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view section)
{
    for (TSection& s : FSections)
        if (SameTextAscii(s.Name, section))
            return &s;
    return nullptr;
}

const TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view section) const
{
    return const_cast<TMemIniFile*>(this)->FindSection(section);
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view def) const
{
    if (const TSection* s = FindSection(section)) {
        int i = FindKey(s->Lines, ident);
        if (i >= 0) {
            const std::string& line = s->Lines[static_cast<size_t>(i)];
            return line.substr(line.find('=') + 1);
        }
    }
    return std::string(def);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value)
{
    TSection* s = FindSection(section);
    if (!s) {
        FSections.push_back({std::string(section), {}});
        s = &FSections.back();
    }
    std::string line = std::string(ident) + "=" + std::string(value);
    int i = FindKey(s->Lines, ident);
    if (i >= 0)
        s->Lines[static_cast<size_t>(i)] = std::move(line);
    else
        s->Lines.push_back(std::move(line));
    Changed();
}

int TMemIniFile::ReadInteger(std::string_view section, std::string_view ident, int def) const
{
    int64_t v;
    std::string text = ReadString(section, ident, "");
    if (!TryStrToInt64(text, v))
        return def;
    // "$FFFFFFFF" is -1 as in the class library; other values must fit.
    if (v >= INT32_MIN && v <= INT32_MAX)
        return static_cast<int>(v);
    if (v > INT32_MAX && v <= int64_t(UINT32_MAX) && text.find_first_of("$xX") != std::string::npos)
        return static_cast<int>(static_cast<uint32_t>(v));
    return def;
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view ident, int value)
{
    WriteString(section, ident, std::to_string(value));
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TMemIniFile::WriteBool(std::string_view section, std::string_view ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

bool TMemIniFile::SectionExists(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const
{
    const TSection* s = FindSection(section);
    return s && FindKey(s->Lines, ident) >= 0;
}

void TMemIniFile::ReadSection(std::string_view section, TStringList& strings) const
{
    strings.Clear();
    if (const TSection* s = FindSection(section))
        for (const std::string& line : s->Lines)
            if (line.find('=') != std::string::npos)
                strings.Add(std::string(LineName(line)));
}

void TMemIniFile::ReadSections(TStringList& strings) const
{
    strings.Clear();
    for (const TSection& s : FSections)
        strings.Add(s.Name);
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStringList& strings) const
{
    strings.Clear();
    if (const TSection* s = FindSection(section))
        for (const std::string& line : s->Lines)
            strings.Add(line);
}

void TMemIniFile::EraseSection(std::string_view section)
{
    for (auto it = FSections.begin(); it != FSections.end(); ++it)
        if (SameTextAscii(it->Name, section)) {
            FSections.erase(it);
            Changed();
            return;
        }
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident)
{
    if (TSection* s = FindSection(section)) {
        int i = FindKey(s->Lines, ident);
        if (i >= 0) {
            s->Lines.erase(s->Lines.begin() + i);
            Changed();
        }
    }
}

void TMemIniFile::Clear()
{
    FSections.clear();
    Changed();
}

std::string TMemIniFile::Text() const
{
    std::string text;
    for (const TSection& s : FSections) {
        text += "[" + s.Name + "]\r\n";
        for (const std::string& line : s.Lines)
            text += line + "\r\n";
        text += "\r\n";
    }
    return text;
}

void TMemIniFile::UpdateFile()
{
    if (ReplaceFileContents(FFileName, EncodeFile(Text(), FEncoding)) != 0)
        throw EWriteError(TryFormat(_("Error writing to \"%s\""), {FFileName}));
    FModified = false;
}

// ---- TUnicodeIniFile

TUnicodeIniFile::TUnicodeIniFile(const std::string& fileName, bool readOnly, bool clearEntries)
    : TMemIniFile(fileName), FReadOnly(readOnly), FUncaught(std::uncaught_exceptions())
{
    if (readOnly)
        return;
    if (clearEntries)
        Clear();
    SetEncoding(TIniEncoding::Utf16LE);
    if (clearEntries || !ValueExists("Unicode", "Encoding"))
        WriteString("Unicode", "Encoding", "UTF-16LE");
    Changed(); // a write-mode object always writes its file once
}

TUnicodeIniFile::~TUnicodeIniFile() noexcept(false)
{
    if (FReadOnly || !FModified)
        return;
    if (std::uncaught_exceptions() > FUncaught) {
        try {
            UpdateFile();
        } catch (...) {
        }
        return;
    }
    UpdateFile();
}

void TUnicodeIniFile::UpdateFile()
{
    if (!FReadOnly)
        TMemIniFile::UpdateFile();
}

void TUnicodeIniFile::WriteProgramInfo(std::string_view ident, std::string_view value)
{
    WriteString("Unicode", ident, value);
}

int64_t TUnicodeIniFile::ReadInt64(std::string_view section, std::string_view ident, int64_t def) const
{
    std::string text = ReadString(section, ident, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    int64_t v;
    return TryStrToInt64(text, v) ? v : def;
}

void TUnicodeIniFile::WriteInt64(std::string_view section, std::string_view ident, int64_t value)
{
    WriteString(section, ident, std::to_string(value));
}

void TUnicodeIniFile::EraseSectionValues(std::string_view section)
{
    if (TSection* s = FindSection(section)) {
        s->Lines.clear();
        Changed();
    }
}

// ---- file text

std::string DecodeIniBytes(std::string_view bytes, TIniEncoding& encoding)
{
    return DecodeFile(bytes, encoding);
}

std::string EncodeIniText(std::string_view text, TIniEncoding encoding)
{
    return EncodeFile(text, encoding);
}

// ---- one-call routines

std::string IniReadString(const std::string& fileName, std::string_view section, std::string_view ident,
                          std::string_view def)
{
    return TMemIniFile(fileName).ReadString(section, ident, def);
}

int IniReadInteger(const std::string& fileName, std::string_view section, std::string_view ident, int def)
{
    return TMemIniFile(fileName).ReadInteger(section, ident, def);
}

bool IniReadBool(const std::string& fileName, std::string_view section, std::string_view ident, bool def)
{
    return TMemIniFile(fileName).ReadBool(section, ident, def);
}

void IniWriteString(const std::string& fileName, std::string_view section, std::string_view ident,
                    std::string_view value)
{
    TMemIniFile ini(fileName);
    ini.WriteString(section, ident, value);
    ini.UpdateFile();
}

void IniWriteInteger(const std::string& fileName, std::string_view section, std::string_view ident, int value)
{
    TMemIniFile ini(fileName);
    ini.WriteInteger(section, ident, value);
    ini.UpdateFile();
}

void IniWriteBool(const std::string& fileName, std::string_view section, std::string_view ident, bool value)
{
    TMemIniFile ini(fileName);
    ini.WriteBool(section, ident, value);
    ini.UpdateFile();
}
