#pragma once
// Shared by the task-file units: reading single keys with their defaults (values that cannot be read or
// lie outside their range are reported and replaced by the default), the stored-password and command
// encodings, and the quoting of single values.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "backup/TaskFile.h"
#include "foundation/IniFileUtils.h"

namespace taskfile {

// Passwords: Ascii85 text of the stored-password encoder, padded to 63 characters (cut to 64).
std::string EncodePasswordText(const std::string& pwd);
// An empty text gives an empty password; so does a text that does not decode (ok is then false).
std::string DecodePasswordText(const std::string& text, bool& ok);

// Command lines: hexadecimal text of the command encoder with cmdEnc 1, else every double quote as '#'.
std::string EncodeCommandText(const std::string& command, int cmdEnc);
std::string DecodeCommandText(const std::string& text, int cmdEnc);

// '#' in a stored note or command stands for the double quote.
std::string HashToQuote(std::string_view text);
std::string QuoteToHash(std::string_view text);

// A single value with a blank is written in double quotes; reading removes one pair of them.
std::string QuoteIfBlank(std::string_view text);
std::string RemoveEnclosingQuotes(std::string_view text);

// Decimal or "0x"/"$" hexadecimal 64-bit text; false when it is neither.
bool ParseInt64Text(std::string_view text, int64_t& value);

class TTaskReader
{
public:
    TTaskReader(const TMemIniFile& ini, const std::string& fileName, TTaskFileReport& report)
        : FIni(ini), FFileName(fileName), FReport(report)
    {
    }

    const TMemIniFile& Ini() const { return FIni; }

    std::string String(std::string_view section, std::string_view key, std::string_view def);
    bool Bool(std::string_view section, std::string_view key, bool def);
    int Int(std::string_view section, std::string_view key, int def);
    // A value in [lo, hi]; anything else gives def and a message.
    int Range(std::string_view section, std::string_view key, int def, int lo, int hi);
    int64_t Int64(std::string_view section, std::string_view key, int64_t def);
    // A stored password; one that does not decode gives an empty password and a message.
    std::string Password(std::string_view section, std::string_view key);
    bool Exists(std::string_view section, std::string_view key);

    void Invalid(std::string_view section, std::string_view key, const std::string& text);
    void Message(std::string message) { FReport.Add(std::move(message)); }
    const std::string& FileName() const { return FFileName; }

    // Keys of a section that were never asked for are reported.
    void ReportUnknownKeys(std::string_view section);
    void Known(std::string_view section, std::string_view key);

private:
    const TMemIniFile& FIni;
    const std::string& FFileName;
    TTaskFileReport& FReport;
    std::set<std::string> FKnown;
};

} // namespace taskfile
