#include "backup/ExternalProg.h"

#include <gtest/gtest.h>

namespace {

TEST(ExternalProgTest, ResetAndWaitBits)
{
    TExternalProg prog{"cmd", 7, 99};
    ResetExternalProg(1, prog);
    EXPECT_EQ(prog.Command, "");
    EXPECT_EQ(prog.Wait, 0);
    EXPECT_EQ(prog.ErrorLevel, 1);
    prog.Wait = 30 + epActive + epIgnoreTimeOut;
    EXPECT_EQ(prog.Wait, 24606);
    EXPECT_TRUE(IsProgActive(prog));
    EXPECT_EQ(ProgTimeOut(prog), 30);
    prog.Wait &= ~epActive;
    EXPECT_FALSE(IsProgActive(prog));
    EXPECT_EQ(ProgTimeOut(prog), 30);
}

TEST(ExternalProgTest, RecentCommandQuoting)
{
    EXPECT_EQ(CommandForHistory("\"/opt/My Tools/run.sh\""), "/opt/My Tools/run.sh");
    EXPECT_EQ(CommandForHistory("\"/opt/My Tools/run.sh\" -x"), "\"/opt/My Tools/run.sh\" -x");
    EXPECT_EQ(CommandForHistory("run.sh"), "run.sh");
    EXPECT_EQ(PreCommandFromHistory("My Script.sh"), "\"My Script.sh\"");
    EXPECT_EQ(PreCommandFromHistory("run.sh -x now"), "run.sh -x now");
    EXPECT_EQ(PreCommandFromHistory("/opt/a b.sh"), "/opt/a b.sh");
    EXPECT_EQ(PreCommandFromHistory("a.b c.d"), "a.b c.d");
    EXPECT_EQ(PostCommandFromHistory("/opt/my tools/run.sh"), "\"/opt/my tools/run.sh\"");
    EXPECT_EQ(PostCommandFromHistory("/opt/run.sh arg one"), "/opt/run.sh arg one");
    EXPECT_EQ(PostCommandFromHistory("/opt/run.sh"), "/opt/run.sh");
    EXPECT_EQ(PostCommandFromHistory("\"/opt/a b\" x.y"), "\"/opt/a b\" x.y");
}

} // namespace
