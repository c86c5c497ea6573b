#pragma once
// Parses a stored mail message with Python's email package (tests/fixtures/smtp/parse_mail.py).

#include <cstdlib>
#include <string>

#include "support/Shell.h"

inline std::string MailFixtureDir()
{
    const char* src = std::getenv("VASTREL_SOURCE_DIR");
    return std::string(src != nullptr ? src : ".") + "/tests/fixtures/smtp/";
}

// The facts the script prints, one a line; the exit code must be 0.
inline ShellResult ParseMail(const std::string& emlFile)
{
    return RunShell("/usr/bin/python3 " + ShellQuote(MailFixtureDir() + "parse_mail.py") + " " +
                    ShellQuote(emlFile));
}
