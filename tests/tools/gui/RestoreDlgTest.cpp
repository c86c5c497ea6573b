#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"
#include "tools/gui/RestoreDlg.h"

namespace {

const TScreenshotShow restoreShot("restore", [](const TScreenshotSaver& save) {
    TRestoreDialog dlg;
    TRestoreTask t;
    InitRestoreTask(t);
    t.Source = "/media/backup/Documents";
    t.DestDir = "/home/user/restored";
    t.AgeMode = 4;
    t.TimeCount = 14;
    t.Overwrite = owOlder;
    t.SecEnabled = true;
    t.BakSec.Selection = 1u << ssDirs;
    t.BakSec.DirPrefix = "~bak";
    t.SyncSec.Selection = 0;
    dlg.SetTask(t);
    dlg.show();
    save(&dlg);
});

class RestoreDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    TRestoreDialog Dlg;
};

TEST_F(RestoreDlgTest, LayoutAndSourceKindRuleTheOtherControls)
{
    Dlg.show();
    auto* origin = Find<QRadioButton>(&Dlg, "rbtOrigin");
    origin->click();
    Find<QRadioButton>(&Dlg, "rbZip")->click();
    EXPECT_FALSE(origin->isVisible());
    EXPECT_TRUE(Find<QRadioButton>(&Dlg, "rbtSelect")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(&Dlg, "cbSync")->isVisible());
    EXPECT_FALSE(Find<QRadioButton>(&Dlg, "rbFtp")->isEnabled()) << "zip layouts are not read from FTP";

    Find<QRadioButton>(&Dlg, "rbSingle")->click();
    EXPECT_TRUE(origin->isVisible());
    Find<QRadioButton>(&Dlg, "rbFtp")->click();
    EXPECT_FALSE(Find<QRadioButton>(&Dlg, "rbZip")->isEnabled());
    EXPECT_FALSE(Find<QRadioButton>(&Dlg, "rbFolderZip")->isEnabled());
    EXPECT_FALSE(Find<QGroupBox>(&Dlg, "gbBakFiles")->isVisible());
    EXPECT_FALSE(Find<QCheckBox>(&Dlg, "cbSync")->isVisible());
    EXPECT_TRUE(Find<QCheckBox>(&Dlg, "cbResArchive")->isChecked());
    Find<QRadioButton>(&Dlg, "rbLocal")->click();
    EXPECT_TRUE(Find<QRadioButton>(&Dlg, "rbZip")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>(&Dlg, "cbResArchive")->isChecked());
}

TEST_F(RestoreDlgTest, ChangingTheTimeUnitKeepsTheOlderOrNewerSense)
{
    Dlg.show();
    Find<QRadioButton>(&Dlg, "rbOlder")->click();
    auto* units = Find<QComboBox>(&Dlg, "cbTimeUnits");
    TRestoreTask t;
    struct Case
    {
        const char* radio;
        int unit, mode;
    };
    for (const Case& c :
         {Case{"rbOlder", 2, 7}, Case{"rbOlder", 3, 9}, Case{"rbNewer", 1, 6}, Case{"rbNewer", 0, 4}}) {
        SCOPED_TRACE(c.mode);
        Find<QRadioButton>(&Dlg, c.radio)->click();
        units->setCurrentIndex(c.unit);
        emit units->activated(c.unit);
        Dlg.GetTask(t);
        EXPECT_EQ(c.mode, t.AgeMode);
    }
}

TEST_F(RestoreDlgTest, StartChecksSourceAndDestinationBeforeHandingTheTaskOn)
{
    int calls = 0;
    TRestoreTask started;
    Dlg.StartHandler = [&](const TRestoreTask& t, const std::string&) {
        ++calls;
        started = t;
        return brOK;
    };
    QueueMsgDialogAnswer(mrOk);
    Dlg.StartClick();
    Find<QComboBox>(&Dlg, "cbSource")->setCurrentText("/backup/set");
    Find<QRadioButton>(&Dlg, "rbtSelect")->setChecked(true);
    Find<QComboBox>(&Dlg, "cbDest")->setCurrentText("");
    QueueMsgDialogAnswer(mrOk);
    Dlg.StartClick();
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("Please select the location from which to restore files!", MsgDialogLog()[0].Text);
    EXPECT_EQ("Please specify the directory you want to restore", MsgDialogLog()[1].Text);
    EXPECT_EQ(0, calls);
    Find<QComboBox>(&Dlg, "cbDest")->setCurrentText("/home/u/out");
    Dlg.StartClick();
    EXPECT_EQ(1, calls);
    EXPECT_EQ("/backup/set", started.Source);
    EXPECT_EQ("/home/u/out", started.DestDir);
}

TEST_F(RestoreDlgTest, ATaskSavedFromTheControlsLoadsBackIntoThem)
{
    Dlg.show();
    Find<QComboBox>(&Dlg, "cbSource")->setCurrentText("/backup/set");
    Find<QRadioButton>(&Dlg, "rbtSelect")->setChecked(true);
    Find<QComboBox>(&Dlg, "cbDest")->setCurrentText("/home/u/out");
    Find<QRadioButton>(&Dlg, "OverwriteRG1")->click();
    Find<QCheckBox>(&Dlg, "cbEmptyDirs")->setChecked(true);
    Find<QRadioButton>(&Dlg, "rbNewer")->click();
    Find<QSpinBox>(&Dlg, "reCount")->setValue(5);
    const std::string file = sandbox.Path("t.rsj");
    ASSERT_TRUE(Dlg.SaveTask(file));
    EXPECT_EQ(esSaved, Dlg.EditStatus);

    TRestoreDialog other;
    ASSERT_TRUE(other.LoadTask(file));
    TRestoreTask t;
    other.GetTask(t);
    EXPECT_EQ("/backup/set", t.Source);
    EXPECT_EQ("/home/u/out", t.DestDir);
    EXPECT_FALSE(t.Origin);
    EXPECT_EQ(owOlder, t.Overwrite);
    EXPECT_TRUE(t.EmptyDirs);
    EXPECT_EQ(4, t.AgeMode);
    EXPECT_EQ(5, t.TimeCount);
    EXPECT_EQ(file, other.TaskFile());
}

} // namespace
