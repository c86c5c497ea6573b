#include <gtest/gtest.h>

#include "starter/StarterShortcut.h"

namespace {

TEST(StarterShortcutTest, ACommandLineReadsIntoTheChoicesAndIsWrittenBackInListOrder)
{
    const TShortcutChoices c =
        ReadShortcutCommandLine("\"Weekly full\" Daily /force /logmode:1 /end:poweroff /term", true);
    EXPECT_EQ(c.Groups, (std::vector<std::string>{"Weekly full", "Daily"}));
    EXPECT_TRUE(c.WriteLog);
    EXPECT_EQ(c.Action, saShutdownAction);
    EXPECT_TRUE(c.Terminate);
    // the order of the list decides, not the incoming order
    EXPECT_EQ(BuildShortcutCommandLine({"Weekly full", "Daily"}, c),
              "\"Weekly full\" Daily /force /logmode:1 /end:shutdown /term");
    EXPECT_EQ(BuildShortcutCommandLine({"Daily", "Weekly full"}, c),
              "Daily \"Weekly full\" /force /logmode:1 /end:shutdown /term");
}

TEST(StarterShortcutTest, OptionsWithoutControlsAndHiddenOnesAreHandledAsTheDialogShows)
{
    struct Case
    {
        const char* in;
        bool showLock;
        const char* out;
    } cases[] = {
        // /erractions: has no control but is written back
        {"G /erractions:3", false, "G /force /erractions:3"},
        // the lock-screen box hidden: dropped; shown: kept
        {"G /lockscreen", false, "G /force"},
        {"G /lockscreen", true, "G /force /lockscreen"},
        // /term only goes with an end of the session
        {"G /suspend:standby /term", false, "G /force /suspend:standby"},
        {"G /suspend:hibernate", false, "G /force /suspend:hibernate"},
        {"G /end:restart /term", false, "G /force /end:restart /term"},
        {"G /end:logoff", false, "G /force /end:logoff"},
        {"G /end:lockdown", false, "G /force"},
        {"G /prompt /logmode:0", false, "G /force /prompt"},
        {"G \"/ini:/home/u/my settings\" /logmode:x", false,
         "G /force \"/ini:/home/u/my settings\" /logmode:1"},
        {"G /erractions:x /unknown", false, "G /force"},
    };
    for (const Case& c : cases) {
        const TShortcutChoices choices = ReadShortcutCommandLine(c.in, c.showLock);
        EXPECT_EQ(BuildShortcutCommandLine(choices.Groups, choices), c.out) << c.in;
    }
}

} // namespace
