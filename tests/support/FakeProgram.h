#pragma once
// The fake program: a small executable that stands in for any program a test expects to be started.
//
// It is steered by its environment:
//   VASTREL_FAKE_RECORD    file to which it appends a record of the run (nothing is written when unset)
//   VASTREL_FAKE_STDOUT    text it prints to standard output (verbatim, no newline added)
//   VASTREL_FAKE_SLEEP_MS  milliseconds it sleeps after printing, before it exits
//   VASTREL_FAKE_EXIT      its exit code (default 0)
//
// Record format: one run is a block of lines; a line is a key, "=", and an escaped value
// (backslash as "\\", newline as "\n", carriage return as "\r"; everything else is kept byte for byte):
//   run=<pid>
//   cwd=<working folder>
//   arg=<argv[0]>
//   arg=<argv[1]>        ... one line per argument, in order
//   env=<NAME=value>     ... one line per environment variable, in the order of the environment
//   end=
// Several runs append several blocks.

#include <map>
#include <optional>
#include <string>
#include <vector>

#ifndef VASTREL_FAKE_PROGRAM
#error "VASTREL_FAKE_PROGRAM must name the fake program (set by the test support library)"
#endif

// Absolute path of the fake program executable.
inline const char* FakeProgramPath()
{
    return VASTREL_FAKE_PROGRAM;
}

struct FakeRun
{
    int pid = 0;
    std::string cwd;
    // argv[0] first.
    std::vector<std::string> args;
    std::map<std::string, std::string> env;

    std::optional<std::string> Env(const std::string& name) const
    {
        auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

// All runs recorded in a record file, oldest first; empty when the file is missing.
// Throws std::runtime_error on a malformed record.
std::vector<FakeRun> ReadFakeRuns(const std::string& recordFile);
// Parses record text (the content of a record file).
std::vector<FakeRun> ParseFakeRuns(const std::string& text);
