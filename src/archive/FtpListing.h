#pragma once
// Parsers for FTP directory listings: machine-readable MLSD lines and the two LIST styles that servers
// send (Unix "ls -l" and DOS/IIS). A line that none of them understands is skipped, never guessed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/DateTime.h"

enum TFtpItemType
{
    fitFile,
    fitDirectory,
    fitLink, // symbolic link whose target kind is unknown; listed as a file
    fitOther // "." and ".." (cdir, pdir) and anything else that is neither file nor folder
};

struct TFtpListItem
{
    std::string Name;
    TFtpItemType ItemType = fitFile;
    int64_t Size = 0;
    // Modification time as the listing gave it: UTC for MLSD, the server's clock for LIST; 0 when none.
    TDateTime ModifiedUtc = 0;
    TDateTime ModifiedLocal = 0;
};

// One MLSD/MLST fact line: "type=file;size=12;modify=20261210224911.123; name".
std::optional<TFtpListItem> ParseMlsdLine(std::string_view line);
// One LIST line in Unix style. today: the client's date, to complete times given without a year.
std::optional<TFtpListItem> ParseUnixListLine(std::string_view line, TDateTime today);
// One LIST line in DOS/IIS style: "12-10-26  10:49PM  <DIR>  name" or "… 1234 name".
std::optional<TFtpListItem> ParseDosListLine(std::string_view line);

// A whole listing. mlsd: the lines come from MLSD; otherwise each line is tried as Unix, then as DOS.
// Lines such as "total 12" and blank lines are skipped; so are "." and "..".
std::vector<TFtpListItem> ParseFtpListing(const std::vector<std::string>& lines, bool mlsd, TDateTime today);

// "YYYYMMDDHHMMSS" with an optional fraction ".sss" (MLSD modify fact, MDTM reply) into a date-time.
bool TryParseFtpTime(std::string_view text, TDateTime& result);
// A date-time as "YYYYMMDDHHMMSS" (MFMT, MDTM with a time).
std::string FtpTimeText(TDateTime dt);
