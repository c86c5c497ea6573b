#include "platform/XdgDirs.h"

#include <cstdlib>
#include <fstream>

#include "support/Sandbox.h"

namespace {

class XdgDirsTest : public SandboxTest
{
};

} // namespace

TEST(ParseUserDirsLineTest, ExpandsHomeAndIgnoresCommentsAndInvalidValues)
{
    std::string text = "# comment\n"
                       "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                       "XDG_MUSIC_DIR=\"relative/path\"\n"
                       "XDG_VIDEOS_DIR=\"/srv/videos/\"\n";
    EXPECT_EQ(ParseUserDirsLine(text, "XDG_DESKTOP_DIR", "/home/u"), "/home/u/Schreibtisch");
    EXPECT_EQ(ParseUserDirsLine(text, "XDG_DOCUMENTS_DIR", "/home/u"), "/home/u/My \"Docs\"");
    EXPECT_EQ(ParseUserDirsLine(text, "XDG_MUSIC_DIR", "/home/u"), "");
    EXPECT_EQ(ParseUserDirsLine(text, "XDG_VIDEOS_DIR", "/home/u"), "/srv/videos");
    EXPECT_EQ(ParseUserDirsLine(text, "XDG_DOWNLOAD_DIR", "/home/u"), "");
}

TEST_F(XdgDirsTest, BaseFoldersComeFromTheEnvironment)
{
    EXPECT_EQ(HomeDir(), sandbox.Path("home"));
    EXPECT_EQ(XdgConfigHome(), sandbox.Path("home/.config"));
    EXPECT_EQ(XdgDataHome(), sandbox.Path("home/.local/share"));
    EXPECT_EQ(AutostartDir(), sandbox.Path("home/.config/autostart"));
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    EXPECT_EQ(XdgConfigHome(), sandbox.Path("home/.config"));
}

TEST_F(XdgDirsTest, TheUserDirsFileWinsOverTheEnvironmentAndDefaultsFollow)
{
    EXPECT_EQ(DocumentsDir(), sandbox.Path("home/Documents")); // from XDG_DOCUMENTS_DIR
    std::ofstream(sandbox.Path("home/.config/user-dirs.dirs")) << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(DocumentsDir(), sandbox.Path("home/Dokumente"));
    ::unsetenv("XDG_DESKTOP_DIR");
    EXPECT_EQ(DesktopDir(), sandbox.Path("home/Desktop"));
    EXPECT_EQ(XdgUserDir("MUSIC"), sandbox.Path("home"));
}
