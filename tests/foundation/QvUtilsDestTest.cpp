#include "foundation/QvUtilsDest.h"

#include "foundation/QvUtilsNames.h"
#include "foundation/WinDevUtils.h"
#include "foundation/WinNet.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

class QvUtilsDestTest : public SandboxTest
{
protected:
    FakeVolumeProvider volumes;
    FakeShareConnector shares;
    void SetUp() override
    {
        auto vol = [](std::string mp, std::string type, std::string label, bool usb) {
            TVolumeInfo v;
            v.MountPoint = mp;
            v.FsType = type;
            v.Label = label;
            v.Usb = v.Removable = usb;
            v.SpaceKnown = true;
            v.FreeBytes = 1;
            v.TotalBytes = 2;
            return v;
        };
        volumes.Volumes = {vol("/", "ext4", "", false),
                           vol(sandbox.Path("v/usb"), "vfat", "STICK", true),
                           vol(sandbox.Path("v/ex"), "exfat", "", true),
                           vol(sandbox.Path("v/bt"), "btrfs", "", false),
                           vol(sandbox.Path("v/nt"), "ntfs3", "", false),
                           vol(sandbox.Path("v/nfs"), "nfs4", "", false),
                           vol(sandbox.Path("v/iso"), "iso9660", "", false),
                           vol(sandbox.Path("v/none"), "", "", false)};
        for (const char* d : {"v/usb", "v/ex", "v/bt", "v/nt", "v/nfs", "v/iso", "v/none", "mnt"})
            std::filesystem::create_directories(sandbox.Path(d));
        shares.MountBase = sandbox.Path("mnt");
        VolumeProvider::SetCurrent(&volumes);
        ShareConnector::SetCurrent(&shares);
        SetShareRetryDelay(0);
    }
    void TearDown() override
    {
        CloseLastConnection();
        SetDefaultAccount("", "");
        SetPathAccessPasswordPrompt(nullptr);
        SetShareRetryDelay(1000);
        VolumeProvider::SetCurrent(nullptr);
        ShareConnector::SetCurrent(nullptr);
    }
};

} // namespace

TEST(MakeDestPathTest, DestinationModesOfLocalSharedAndVolumeSources)
{
    struct Case
    {
        int mode;
        const char* source;
        const char* result;
    } cases[] = {
        {0, "/home/Data/Mail", "/mnt/Backup/Drv/home/Data/Mail"},
        {1, "/home/Data/Mail", "/mnt/Backup/home/Data/Mail"},
        {2, "/home/Data/Mail", "/mnt/Backup/"},
        {3, "/home/Data/Mail/", "/mnt/Backup/Mail"},
        {7, "/home/Data", "/mnt/Backup/home/Data"},
        {1, "/", "/mnt/Backup/"},
        {0, "//nas/share/Docs", "/mnt/Backup/nas/share/Docs"},
        {1, "//nas/share/Docs", "/mnt/Backup/Docs"},
        {6, ":USB:/Photos", "/mnt/Backup/Drv/Photos"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeDestPath(c.mode, "Drv?", "/mnt/Backup", c.source), c.result)
            << c.mode << " " << c.source;
    EXPECT_EQ(GetPathRoot("//srv/share/a/b"), "//srv/share/");
    EXPECT_EQ(GetPathRoot("//srv/share"), "//srv/share/");
    EXPECT_EQ(GetPathRoot("/home/u"), "/");
    EXPECT_EQ(GetPathRoot("relative/x"), "");
}

TEST_F(QvUtilsDestTest, FileSystemsOfDestinations)
{
    struct Case
    {
        std::string path;
        TFileSystem fs;
    } cases[] = {
        {"", fsNotAvail},
        {sandbox.Path("home"), fsNtfs},
        {sandbox.Path("v/usb/backup"), fsFat},
        {sandbox.Path("v/ex"), fsExtFat},
        {sandbox.Path("v/bt"), fsBTRFS},
        {sandbox.Path("v/nt"), fsNtfs},
        {sandbox.Path("v/nfs"), fsRemote},
        {"//nas/share", fsRemote},
        {sandbox.Path("v/iso"), fsFat},
        {sandbox.Path("v/none"), fsLtfs},
        {":STICK:/backup", fsFat},
        {":MISSING:/backup", fsNotAvail},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileSystem(c.path), c.fs) << c.path;
    EXPECT_EQ(FileSystemName(fsNotAvail), "n/a");
    EXPECT_EQ(FileSystemName(fsFat), "FAT/FAT32");
    EXPECT_TRUE(IsRemovableDrive(sandbox.Path("v/usb")));
    EXPECT_FALSE(IsRemovableDrive(sandbox.Path("v/bt")));
}

TEST_F(QvUtilsDestTest, CheckPathAccessAsksForAMissingPasswordEvenWithoutPrompts)
{
    std::string path = sandbox.Path("v/usb/x");
    EXPECT_TRUE(CheckPathAccess("T", "", "", path, true));
    path = ":STICK:/x";
    EXPECT_TRUE(CheckPathAccess("T", "", "", path, true));
    EXPECT_EQ(path, sandbox.Path("v/usb") + "/x");
    path = ":MISSING:/x";
    EXPECT_FALSE(CheckPathAccess("T", "", "", path, true));

    std::string asked;
    SetPathAccessPasswordPrompt([&](const std::string& caption, const std::string& message, std::string& pw) {
        asked = caption + "|" + message;
        pw = "secret";
        return true;
    });
    path = "//nas/backup";
    ASSERT_TRUE(CheckPathAccess("Backup", "anna", "", path, true));
    EXPECT_EQ(asked, "Backup|Network connection to \"//nas/backup\" for user \"anna\" requires a password!");
    ASSERT_EQ(shares.Calls.size(), 1u);
    EXPECT_EQ(shares.Calls[0].Password, "secret");

    SetPathAccessPasswordPrompt(nullptr); // nobody to ask: cancelled
    path = "//nas/other";
    EXPECT_FALSE(CheckPathAccess("Backup", "bob", "", path, true));
}

TEST_F(QvUtilsDestTest, TheFreeSpaceThreadReportsOnTheCreatingThread)
{
    TNetGetVolThread::SetStartDelay(0);
    bool ended = false;
    TNetGetVolThread t(sandbox.Path(), [&](TNetGetVolThread* th) {
        ended = true;
        EXPECT_TRUE(th->Success());
    });
    t.WaitFor();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(t.Success());
    EXPECT_GT(t.TotalSpace(), 0u);
    TNetGetVolThread missing("//srv/none", nullptr);
    missing.WaitFor();
    EXPECT_FALSE(missing.Success());
    TNetGetVolThread::SetStartDelay(200);
}

TEST_F(QvUtilsDestTest, DestinationInfoTellsWhereTheBackupGoes)
{
    struct Case
    {
        std::string dest;
        int status;
        std::string text;
    } cases[] = {
        {":STICK:/set", 0,
         "Backup destination on local drive " + sandbox.Path("v/usb") + "/set (1 B free of 2 B)"},
        {":GONE:/set", 2, "Backup destination not available"},
        {"", 2, "Backup destination not available"},
        {sandbox.Path("v/usb/new/folder"), 0, "Backup destination on local drive (1 B free of 2 B)"},
        {sandbox.Path("v/nfs/x"), 1, "Backup destination on server"},
        {"//server/share/x", 1, "Backup destination on server"},
        {"relative/dir", 0, "Backup destination on local drive (1 B free of 2 B)"},
    };
    for (const auto& c : cases) {
        int status = -1;
        std::string text;
        GetDestinationInfo(c.dest, status, text);
        EXPECT_EQ(status, c.status) << c.dest;
        EXPECT_EQ(text, c.text) << c.dest;
        std::string only;
        GetDestinationText(c.dest, only);
        EXPECT_EQ(only, c.text);
    }
}
