#pragma once
// A fresh folder per test; HOME and the XDG folders point into it while the test runs.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& Root() const { return FRoot; }
    // Root()/relative as a string.
    std::string Path(const std::string& relative = "") const;
    // Sets an environment variable for the rest of the test; the old value comes back afterwards.
    void SetEnv(const char* name, const std::string& value);

private:
    std::filesystem::path FRoot;
    std::map<std::string, std::optional<std::string>> FSavedEnv;
};

// Test fixture that gives each test its own sandbox.
class SandboxTest : public ::testing::Test
{
protected:
    Sandbox sandbox;
};
