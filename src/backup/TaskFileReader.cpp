#include "backup/TaskFileReader.h"

#include <charconv>

#include "archive/PasswordText.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"

namespace taskfile {

namespace {

const std::string& ProgramKey()
{
    static const std::string key = UnscrambleKeyString(ProgramKeyString);
    return key;
}

std::string Lower(std::string_view section, std::string_view key)
{
    return utf8::Lower(std::string(section) + "\n" + std::string(key));
}

} // namespace

std::string EncodePasswordText(const std::string& pwd)
{
    if (pwd.empty())
        return "";
    std::string result;
    EncodePassword(ProgramKey(), pwd, 64, result, false);
    return result;
}

std::string DecodePasswordText(const std::string& text, bool& ok)
{
    ok = true;
    std::string result;
    if (text.empty())
        return result;
    try {
        DecodePassword(ProgramKey(), text, false, result);
    } catch (const std::exception&) {
        result.clear();
    }
    ok = !result.empty();
    return result;
}

std::string EncodeCommandText(const std::string& command, int cmdEnc)
{
    if (cmdEnc != 1)
        return QuoteToHash(command);
    std::string result;
    if (!command.empty())
        EncodeCommand(ProgramKey(), command, true, result);
    return result;
}

std::string DecodeCommandText(const std::string& text, int cmdEnc)
{
    if (cmdEnc != 1)
        return HashToQuote(text);
    std::string result;
    if (!text.empty()) {
        try {
            DecodeCommand(ProgramKey(), text, true, result);
        } catch (const std::exception&) {
            result.clear();
        }
    }
    return result;
}

std::string HashToQuote(std::string_view text)
{
    return ReplaceChar(text, U'#', U'"');
}

std::string QuoteToHash(std::string_view text)
{
    return ReplaceChar(text, U'"', U'#');
}

std::string QuoteIfBlank(std::string_view text)
{
    if (text.find(' ') == std::string_view::npos)
        return std::string(text);
    return "\"" + std::string(text) + "\"";
}

std::string RemoveEnclosingQuotes(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

bool ParseInt64Text(std::string_view text, int64_t& value)
{
    text = utf8::Trim(text);
    int base = 10;
    if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")) {
        text.remove_prefix(2);
        base = 16;
    } else if (text.size() > 1 && text.front() == '$') {
        text.remove_prefix(1);
        base = 16;
    }
    if (text.empty())
        return false;
    bool negative = false;
    if (base == 10 && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    if (base == 16) {
        value = static_cast<int64_t>(v);
        return true;
    }
    if (negative) {
        if (v > uint64_t(INT64_MAX) + 1)
            return false;
        value = v == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v);
        return true;
    }
    if (v > uint64_t(INT64_MAX))
        return false;
    value = static_cast<int64_t>(v);
    return true;
}

std::string TTaskReader::String(std::string_view section, std::string_view key, std::string_view def)
{
    Known(section, key);
    return FIni.ReadString(section, key, def);
}

bool TTaskReader::Bool(std::string_view section, std::string_view key, bool def)
{
    return Int(section, key, def ? 1 : 0) != 0;
}

int TTaskReader::Int(std::string_view section, std::string_view key, int def)
{
    Known(section, key);
    if (!FIni.ValueExists(section, key))
        return def;
    const std::string text = FIni.ReadString(section, key, "");
    int64_t value = 0;
    if (!ParseInt64Text(text, value) || value < INT32_MIN || value > INT32_MAX) {
        // Hexadecimal texts of the ini class are 32-bit patterns.
        const int marker = INT32_MIN + 1;
        const int v = FIni.ReadInteger(section, key, marker);
        if (v == marker && text != std::to_string(marker)) {
            Invalid(section, key, text);
            return def;
        }
        return v;
    }
    return static_cast<int>(value);
}

int TTaskReader::Range(std::string_view section, std::string_view key, int def, int lo, int hi)
{
    const int value = Int(section, key, def);
    if (value < lo || value > hi) {
        Invalid(section, key, std::to_string(value));
        return def;
    }
    return value;
}

int64_t TTaskReader::Int64(std::string_view section, std::string_view key, int64_t def)
{
    Known(section, key);
    if (!FIni.ValueExists(section, key))
        return def;
    const std::string text = FIni.ReadString(section, key, "");
    int64_t value = 0;
    if (!ParseInt64Text(text, value)) {
        Invalid(section, key, text);
        return def;
    }
    return value;
}

std::string TTaskReader::Password(std::string_view section, std::string_view key)
{
    const std::string text = String(section, key, "");
    bool ok = true;
    std::string pwd = DecodePasswordText(text, ok);
    if (!ok)
        FReport.Add(SafeFormat(_("Task file \"%s\": the password of [%s] %s cannot be read"),
                               {FFileName, std::string(section), std::string(key)}));
    return pwd;
}

bool TTaskReader::Exists(std::string_view section, std::string_view key)
{
    Known(section, key);
    return FIni.ValueExists(section, key);
}

void TTaskReader::Invalid(std::string_view section, std::string_view key, const std::string& text)
{
    FReport.Add(SafeFormat(_("Task file \"%s\": invalid value \"%s\" of [%s] %s; the default is used"),
                           {FFileName, text, std::string(section), std::string(key)}));
}

void TTaskReader::ReportUnknownKeys(std::string_view section)
{
    TStringList keys;
    FIni.ReadSection(section, keys);
    for (const std::string& key : keys) {
        if (!FKnown.count(Lower(section, key)))
            FReport.Add(SafeFormat(_("Task file \"%s\": unknown key [%s] %s ignored"),
                                   {FFileName, std::string(section), key}));
    }
}

void TTaskReader::Known(std::string_view section, std::string_view key)
{
    FKnown.insert(Lower(section, key));
}

} // namespace taskfile
