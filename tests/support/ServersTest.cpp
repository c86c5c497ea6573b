#include "support/Servers.h"

#include <string>
#include <unistd.h>

#include "support/Shell.h"

namespace {

// Runs only inside the test below, as a separate process: a test whose server is missing.
TEST(ServersProbe, NeedsAServerThatIsNotThere)
{
    if (std::getenv("VASTREL_SERVERS_PROBE") == nullptr)
        return;
    VASTREL_REQUIRE_SERVER("the probe server is not installed");
    ADD_FAILURE() << "went on without its server";
}

TEST(ServersProbe, NeedsAToolThatIsNotThere)
{
    if (std::getenv("VASTREL_SERVERS_PROBE") == nullptr)
        return;
    VASTREL_REQUIRE_TOOL("no-such-tool-vastrel");
    ADD_FAILURE() << "went on without its tool";
}

TEST(Servers, AMissingServerOrToolSkipsOnADevelopersMachineAndFailsWhereServersAreRequired)
{
    struct Case
    {
        const char* require;
        int exitCode;
        const char* outcome;
    };
    const std::string self = "/proc/" + std::to_string(::getpid()) + "/exe --gtest_filter='ServersProbe.*'";
    for (const Case& c : {Case{"", 0, "[  SKIPPED ] 2 tests"}, Case{"0", 0, "[  SKIPPED ] 2 tests"},
                          Case{"1", 1, "[  FAILED  ] 2 tests"}}) {
        const ShellResult r = RunShell(
            "VASTREL_SERVERS_PROBE=1 VASTREL_REQUIRE_SERVERS=" + std::string(c.require) + " " + self);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.outcome), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("the probe server is not installed"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("the tool \"no-such-tool-vastrel\" is not installed"), std::string::npos)
            << r.output;
        EXPECT_EQ(r.output.find("went on without"), std::string::npos) << r.output;
    }
}

} // namespace
