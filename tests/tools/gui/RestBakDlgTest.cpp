#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"
#include "tools/gui/RestBakDlg.h"

namespace {

TSecSettings Sec(TSecSelections sel, const char* prefix, const char* suffix)
{
    TSecSettings s;
    s.Selection = sel;
    s.DirPrefix = prefix;
    s.FileSuffix = suffix;
    return s;
}

const TScreenshotShow restBakShot("restbak", [](const TScreenshotSaver& save) {
    TSecSettings bak = Sec(1, "~bak", "bak-#"), sync = Sec(0, "_sync", "sync");
    ScreenshotModal(save, [&] {
        TRestBakDialog dlg;
        dlg.Execute(taRestore, "Take security copies into account on restore", bak, sync, "");
    });
});

class RestBakDlgTest : public SandboxTest
{
};

TEST_F(RestBakDlgTest, OkTakesTheGroupsAndEditsCancelKeepsTheRecords)
{
    TSecSettings bak = Sec(0, "~bak", "bak"), sync = Sec(3, "_sync", "sync");
    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "rgBakDir1")->click();
        Find<QRadioButton>(w, "rgSyncFile0")->click();
        Find<QLineEdit>(w, "edtBakSuffix")->setText("old");
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    TRestBakDialog dlg;
    ASSERT_TRUE(dlg.Execute(taRestore, "t", bak, sync, ""));
    EXPECT_EQ(1u << ssDirs, bak.Selection);
    EXPECT_EQ("old", bak.FileSuffix);
    EXPECT_EQ(1u << ssDirs, sync.Selection);

    const TSecSettings before = bak;
    WhenModal([](QWidget* w) {
        Find<QLineEdit>(w, "edtBakPrefix")->setText("changed");
        QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    TRestBakDialog again;
    EXPECT_FALSE(again.Execute(taRestore, "t", bak, sync, ""));
    EXPECT_EQ(before.DirPrefix, bak.DirPrefix);
}

TEST_F(RestBakDlgTest, VerifyHidesTheGroupsAndKeepsTheSelections)
{
    TSecSettings bak = Sec(3, "~", "bak"), sync = Sec(1, "_", "sync");
    bool hidden = false;
    WhenModal([&](QWidget* w) {
        hidden = !Find<QRadioButton>(w, "rgBakDir0")->isVisible();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    TRestBakDialog dlg;
    ASSERT_TRUE(dlg.Execute(taVerify, "t", bak, sync, ""));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(3, bak.Selection);
    EXPECT_EQ(1, sync.Selection);
}

TEST_F(RestBakDlgTest, ImportReadsTheNamingOfABackupTask)
{
    ProgSettings.SecCopySettings = {"~", "_", "bak", "sync"};
    const std::string task = sandbox.Path("b.buj");
    {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(task, true);
        ini.WriteString("Global", "BakSuffix", "bak-#3/4/2");
        ini.UpdateFile();
    }
    TRestBakDialog dlg;
    dlg.ImportFrom(task);
    EXPECT_EQ("~bak", Find<QLineEdit>(&dlg, "edtBakPrefix")->text().toStdString());
    EXPECT_EQ("bak-#3", Find<QLineEdit>(&dlg, "edtBakSuffix")->text().toStdString());
    EXPECT_EQ("_sync", Find<QLineEdit>(&dlg, "edtSyncPrefix")->text().toStdString());
    EXPECT_EQ("sync", Find<QLineEdit>(&dlg, "edtSyncSuffix")->text().toStdString());
}

} // namespace
