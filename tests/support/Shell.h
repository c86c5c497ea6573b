#pragma once
// Running oracle tools (gzip, unzip, 7z, bsdtar, openssl, python3 …) from tests.
//
//   VASTREL_REQUIRE_TOOL("unzip");                    // skips the test when unzip is not installed
//   ShellResult r = RunShell("unzip -l " + ShellQuote(zipFile));
//   ASSERT_EQ(r.exitCode, 0) << r.output;

#include <string>

#include <gtest/gtest.h>

#include "support/Servers.h"

struct ShellResult
{
    // Exit code of the command; 128 + signal number when it was killed by a signal; -1 when it could not
    // be started.
    int exitCode = -1;
    // Standard output, with standard error appended when the command was run with mergeStderr.
    std::string output;
};

// Runs command with /bin/sh -c in the folder cwd (the current folder when empty), standard input from
// stdinData, and waits for it. Standard error goes into output when mergeStderr, else to the test's
// standard error.
ShellResult RunShell(const std::string& command, const std::string& cwd = "", bool mergeStderr = true,
                     const std::string& stdinData = "");

// The text quoted for a POSIX shell: 'text' with every ' written as '\''.
std::string ShellQuote(const std::string& text);

// Full path of an executable found on PATH (or name itself when it holds a "/" and is executable);
// empty when there is none.
std::string FindTool(const std::string& name);

// Skips the current test (GTEST_SKIP, so only in the test body or a fixture's SetUp) when the tool is
// missing; fails it instead where servers and tools are required (CI, see support/Servers.h).
#define VASTREL_REQUIRE_TOOL(name)                                                                           \
    VASTREL_REQUIRE_SERVER(                                                                                  \
        FindTool(name).empty() ? "the tool \"" + std::string(name) + "\" is not installed" : std::string())
