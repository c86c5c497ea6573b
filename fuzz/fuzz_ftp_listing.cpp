// The FTP listing parsers: MLSD facts, Unix "ls -l" lines (with the year guessed from today) and DOS
// listings, line by line and as a whole listing, and the FTP time format.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/FtpListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size() && lines.size() < 1000) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    const TDateTime today = 45500.0; // a fixed day, so a finding can be replayed
    try {
        for (const std::string& line : lines) {
            (void)ParseMlsdLine(line);
            (void)ParseUnixListLine(line, today);
            (void)ParseDosListLine(line);
            TDateTime t;
            if (TryParseFtpTime(line, t))
                (void)FtpTimeText(t);
        }
        (void)ParseFtpListing(lines, true, today);
        (void)ParseFtpListing(lines, false, today);
    } catch (const std::exception&) {
    }
    return 0;
}
