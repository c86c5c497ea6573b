#include "foundation/WinShell.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "support/Sandbox.h"

namespace {

class WinShellTest : public SandboxTest
{
};

} // namespace

TEST(WinShellArgumentsTest, ArgumentTextsSplitAndJoin)
{
    EXPECT_EQ(SplitArguments(" /force  \"/home/u/My Tasks/a.buj\" x\"\"y \"say \"\"hi\"\"\""),
              (std::vector<std::string>{"/force", "/home/u/My Tasks/a.buj", "xy", "say \"hi\""}));
    std::vector<std::string> args = {"-force", "a b.buj", "q\"uote", ""};
    EXPECT_EQ(SplitArguments(JoinArguments(args)), args);
    EXPECT_EQ(ShellLinkFileName("/d/Backup.lnk"), "/d/Backup.desktop");
    EXPECT_EQ(ShellLinkFileName("/d/Backup"), "/d/Backup.desktop");
    EXPECT_EQ(ShellLinkFileName("/d/B.DESKTOP"), "/d/B.DESKTOP");
}

TEST_F(WinShellTest, LinksAreDesktopEntriesThatKeepTheirArgumentsAndAdminFlag)
{
    std::string link = sandbox.Path("home/Desktop/Daily backup.lnk");
    ASSERT_EQ(MakeShortcut(link, "/usr/bin/vastrel", "/force \"/home/u/My Tasks/daily.buj\"", true,
                           "Starts the daily backup", "/home/u"),
              S_OK);
    std::string target, args, dir, desc;
    bool admin = false;
    ASSERT_EQ(ReadShellLink(link, target, args, dir, desc, admin), S_OK);
    EXPECT_EQ(target, "/usr/bin/vastrel");
    EXPECT_EQ(args, "/force \"/home/u/My Tasks/daily.buj\"");
    EXPECT_EQ(dir, "/home/u");
    EXPECT_EQ(desc, "Starts the daily backup");
    EXPECT_TRUE(admin);
    EXPECT_EQ(ReadShellLink(sandbox.Path("none.lnk"), target, args, dir, desc, admin), 2);
    EXPECT_FALSE(ReadShellLinkInfo(sandbox.Path("none.lnk"), target, args, dir, desc));
    EXPECT_EQ(GetExeType(ShellLinkFileName(link)), 1);
}

TEST_F(WinShellTest, DeletingToTheTrashOrForGood)
{
    std::ofstream(sandbox.Path("a.txt")) << "a";
    std::ofstream(sandbox.Path("b.txt")) << "b";
    std::filesystem::create_directories(sandbox.Path("tree/sub"));
    std::ofstream(sandbox.Path("tree/sub/c")) << "c";
    EXPECT_EQ(ShellItemDelete(nullptr, sandbox.Path("a.txt"), true, true), S_OK);
    EXPECT_TRUE(std::filesystem::exists(sandbox.Path("home/.local/share/Trash/files/a.txt")));
    EXPECT_EQ(ShellItemDelete(nullptr, sandbox.Path("b.txt"), false, true), S_OK);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("b.txt")));
    EXPECT_NE(ShellItemDelete(nullptr, sandbox.Path("tree"), false, true), S_OK);
    EXPECT_EQ(ShellItemDeleteDir(nullptr, sandbox.Path("tree/"), false, true), S_OK);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("tree")));
    EXPECT_EQ(ShellItemDelete(nullptr, sandbox.Path("none"), true, true), int32_t(0x80070002));
}

TEST_F(WinShellTest, ExecutableKindsFromTheFirstBytes)
{
    std::ofstream(sandbox.Path("script.sh")) << "#!/bin/sh\necho hi\n";
    ::chmod(sandbox.Path("script.sh").c_str(), 0755);
    std::ofstream(sandbox.Path("text.txt")) << "plain";
    EXPECT_EQ(GetExeType(sandbox.Path("script.sh")), 5);
    EXPECT_EQ(GetExeType(sandbox.Path("text.txt")), 0);
    EXPECT_EQ(GetExeType("/bin/sh"), 5);
    EXPECT_TRUE(IsConsoleApp("/bin/ls"));
    EXPECT_EQ(GetExeType(sandbox.Path("none")), 0);
}

TEST_F(WinShellTest, ShellFoldersAreTheXdgFoldersAndTheInstallationPrefix)
{
    const std::string home = sandbox.Path("home");
    std::filesystem::create_directories(home + "/.config");
    std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
    struct Case
    {
        int csidl;
        std::string folder;
    } cases[] = {
        {CSIDL_PERSONAL, home + "/Documents"},
        {CSIDL_DESKTOPDIRECTORY, home + "/Desktop"},
        {CSIDL_MYMUSIC | 0x8000, home + "/Tunes"},
        {CSIDL_APPDATA, home + "/.config"},
        {CSIDL_LOCAL_APPDATA, home + "/.local/share"},
        {CSIDL_STARTUP, home + "/.config/autostart"},
        {CSIDL_PROGRAMS, home + "/.local/share/applications"},
        {CSIDL_PROFILE, home},
        {CSIDL_COMMON_APPDATA, "/var/lib"},
        {0x24, ""}, // the Windows folder has no counterpart
    };
    for (const auto& c : cases) {
        errno = 5;
        EXPECT_EQ(GetSpecialFolder(c.csidl), c.folder) << c.csidl;
        EXPECT_EQ(errno, 0);
    }
    EXPECT_EQ(GetKnownFolder(FOLDERID_Documents), home + "/Documents");
    EXPECT_EQ(GetKnownFolder("fdd39ad0-238f-46af-adb4-6c85480369c7"), home + "/Documents");
    EXPECT_EQ(GetKnownFolder("{00000000-0000-0000-0000-000000000000}"), "");

    const std::string prefix = GetProgramFilesDir(0);
    EXPECT_FALSE(prefix.empty());
    EXPECT_EQ(prefix, GetSpecialFolder(CSIDL_PROGRAM_FILES));
    EXPECT_EQ(GetProgramFilesDir(4), prefix) << "one set of programs for every bitness";
    EXPECT_EQ(GetProgramFilesDir(0x82), prefix);
    EXPECT_EQ(GetProgramFilesDir(9), prefix) << "unknown kinds behave like 0";
    EXPECT_EQ(GetProgramFilesDir(1), prefix + "/share");
    EXPECT_EQ(GetProgramFilesDir(0x85), prefix + "/share");
}
