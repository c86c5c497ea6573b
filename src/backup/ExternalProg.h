#pragma once
// The programs a backup task runs before and after the backup.

#include <string>
#include <string_view>

struct TExternalProg
{
    // The command line, placeholders not yet expanded.
    std::string Command;
    // Before the backup: the backup is cancelled when the program returns this code or a greater one
    // (1..255). After the backup: the epNot…/epIgnoreExitCode bits.
    int ErrorLevel = 1;
    // Time-out in seconds (bits 0-11, 0 = wait until it ends) and the ep… flags.
    int Wait = 0;
};

// Bits of Wait.
constexpr int epTimeOutMask = 4095;
constexpr int epShowConsole = 4096;
constexpr int epActive = 8192;
constexpr int epIgnoreTimeOut = 16384;
constexpr int epRunAsAdmin = 32768;

// Bits of ErrorLevel of the program after the backup.
constexpr int epNotIfCanceled = 1;
constexpr int epNotIfErrors = 2;
constexpr int epNotIfIdle = 4;
constexpr int epIgnoreExitCode = 8;

// Limits of the settings.
constexpr int epMinTimeOut = 1;
constexpr int epMaxTimeOut = 3600;
constexpr int epDefaultTimeOut = 5;
constexpr int epMinErrorLevel = 1;
constexpr int epMaxErrorLevel = 255;
// Lengths of the recent-command lists.
constexpr int PreCommandHistoryLength = 15;
constexpr int PostCommandHistoryLength = 8;

// Empty command, Wait 0, the given ErrorLevel.
void ResetExternalProg(int ErrorLevel, TExternalProg& Prog);

inline bool IsProgActive(const TExternalProg& Prog)
{
    return (Prog.Wait & epActive) != 0;
}
inline int ProgTimeOut(const TExternalProg& Prog)
{
    return Prog.Wait & epTimeOutMask;
}

// The command as the recent-command list keeps it: without its enclosing quotes when the whole text
// is one quoted string.
std::string CommandForHistory(std::string_view Command);
// A recent entry chosen for the program before the backup: an unquoted entry with a blank, exactly
// one dot and neither "-" nor "/" is put in double quotes.
std::string PreCommandFromHistory(std::string_view Entry);
// A recent entry chosen for the program after the backup: an unquoted entry with a blank whose
// extension (from the last dot) is not empty and holds no blank is put in double quotes.
std::string PostCommandFromHistory(std::string_view Entry);
