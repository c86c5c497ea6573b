// The verify and cleanup editors and the dialog of the external programs, driven offscreen.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/ShowMessageDlg.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"
#include "tools/gui/CleanupDialog.h"
#include "tools/gui/ExtViewDlg.h"
#include "tools/gui/VerifyDialog.h"

namespace {

void ProgramDefaults()
{
    ProgSettings.SecCopySettings.BakPrefix = "~";
    ProgSettings.SecCopySettings.SyncPrefix = "_";
    ProgSettings.SecCopySettings.BakSuffix = "bak";
    ProgSettings.SecCopySettings.SyncSuffix = "sync";
    ProgSettings.OtherSettings.DefDriveId = "Drv?";
}

class ToolEditorsTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        ProgramDefaults();
        ClearMsgDialogLog();
    }
};

// ---- external programs

TEST_F(ToolEditorsTest, ChoosingWinMergeFillsTheOptionsAndCancelKeepsEverything)
{
    std::vector<std::string> chosen = {"/opt/tools/WinMergeU.exe", "/usr/bin/meld"};
    size_t next = 0;
    TExternalViewerDialog::ChooseProgram = [&](const std::string&, const std::string&) {
        return chosen[next++];
    };
    std::string view = "/usr/bin/less", comp = "/usr/bin/kdiff3", opt = "--typed";
    WhenModal([&](QWidget* w) {
        QTest::mouseClick(Find<QPushButton>(w, "btCompare"), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>(w, "edOptions")->text().toStdString(), "/e /x /s /u /wl /wr");
        QTest::mouseClick(Find<QPushButton>(w, "btCompare"), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>(w, "edOptions")->text().toStdString(), "")
            << "another program empties them";
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_FALSE(SelectExternalPrograms(view, comp, opt));
    EXPECT_EQ(view, "/usr/bin/less");
    EXPECT_EQ(comp, "/usr/bin/kdiff3");
    EXPECT_EQ(opt, "--typed");

    WhenModal([&](QWidget* w) {
        QLineEdit* compare = Find<QLineEdit>(w, "edCompare");
        compare->clear();
        QTest::keyClicks(compare, "/usr/bin/winmerge");
        EXPECT_EQ(Find<QLineEdit>(w, "edOptions")->text().toStdString(), "--typed")
            << "typing leaves the options";
        static_cast<QDialog*>(w)->accept();
    });
    EXPECT_TRUE(SelectExternalPrograms(view, comp, opt));
    EXPECT_EQ(comp, "/usr/bin/winmerge");
    EXPECT_EQ(opt, "--typed");
}

// ---- verify editor

TEST_F(ToolEditorsTest, VerifyUnitBoxGivesThePeriodModes)
{
    TVerifyDialog dlg;
    dlg.show();
    Find<QRadioButton>(&dlg, "rbNewer")->click();
    Find<QComboBox>(&dlg, "cbTimeUnits")->setCurrentIndex(2);
    EXPECT_EQ(dlg.Settings.AgeMode, 8);
    Find<QRadioButton>(&dlg, "rbOlder")->click();
    EXPECT_EQ(dlg.Settings.AgeMode, 7);
    EXPECT_TRUE(Find<QPushButton>(&dlg, "SaveBtn")->isEnabled()) << "an edit enables saving";
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, VerifyZipModesHideWhatOnlySeparatedFilesHave)
{
    TVerifyDialog dlg;
    dlg.show();
    Find<QRadioButton>(&dlg, "rbZip")->click();
    EXPECT_FALSE(Find<QRadioButton>(&dlg, "rbtOrigin")->isVisible());
    EXPECT_FALSE(Find<QCheckBox>(&dlg, "UnpackCB")->isVisible());
    EXPECT_FALSE(Find<QGroupBox>(&dlg, "gbBakFiles")->isVisible());
    EXPECT_FALSE(Find<QRadioButton>(&dlg, "rbFtp")->isEnabled());
    Find<QRadioButton>(&dlg, "rbSingle")->click();
    EXPECT_TRUE(Find<QCheckBox>(&dlg, "UnpackCB")->isVisible());
    EXPECT_TRUE(Find<QRadioButton>(&dlg, "rbFtp")->isEnabled());
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, VerifyTaskLoadedAndClosedBringsBackTheSettingsBefore)
{
    TVerifySettings task = DefaultVerifySettings();
    task.Source = sandbox.Path("backup");
    task.AgeMode = 11;
    const std::string path = sandbox.Path("t.vfj");
    SaveVerifyTask(path, task);
    TVerifyDialog dlg;
    Find<QComboBox>(&dlg, "cbSource")->setEditText("/before");
    dlg.SetEditStatus(esSaved);
    ASSERT_TRUE(dlg.LoadTask(path));
    EXPECT_EQ(Find<QComboBox>(&dlg, "cbSource")->currentText().toStdString(), task.Source);
    EXPECT_TRUE(Find<QRadioButton>(&dlg, "rbDate")->isChecked());
    dlg.reject();
    EXPECT_EQ(Find<QComboBox>(&dlg, "cbSource")->currentText().toStdString(), "/before");
    EXPECT_EQ(dlg.Settings.AgeMode, 0);
}

TEST_F(ToolEditorsTest, VerifyChangedTaskAsksAndCancelKeepsTheWindow)
{
    TVerifyDialog dlg;
    dlg.show();
    QTest::keyClicks(Find<QComboBox>(&dlg, "cbSource"), "/x");
    ASSERT_EQ(dlg.EditStatus, esChanged);
    QueueMsgDialogAnswer(mrCancel);
    dlg.reject();
    EXPECT_TRUE(dlg.isVisible()) << "Cancel in the save question keeps the window open";
    const std::string saved = sandbox.Path("saved.vfj");
    TVerifyDialog::ChooseSaveFile = [&](const std::string&, const std::string&) { return saved; };
    QueueMsgDialogAnswer(mrYes);
    dlg.reject();
    EXPECT_FALSE(dlg.isVisible());
    TVerifySettings r = DefaultVerifySettings();
    LoadVerifyTask(saved, r);
    EXPECT_EQ(r.Source, "/x");
}

TEST_F(ToolEditorsTest, VerifyStartWithoutSourceSaysSo)
{
    TVerifyDialog dlg;
    bool ran = false;
    dlg.StartRun = [&](TVerifyDialog&) { ran = true; };
    dlg.show();
    QueueMsgDialogAnswer(mrOk);
    QTest::mouseClick(Find<QPushButton>(&dlg, "bbtStart"), Qt::LeftButton);
    EXPECT_FALSE(ran);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ(MsgDialogLog().back().Text, "Please specify the directory to be verified!");
    dlg.SetEditStatus(esSaved);
}

// ---- cleanup editor

TEST_F(ToolEditorsTest, CleanupTypesWithoutListOpenTheListAndCancelFallsBackToAll)
{
    TCleanUpDialog dlg;
    dlg.show();
    int asked = 0;
    TCleanUpDialog::EditTypeList = [&](std::string&) {
        ++asked;
        return false;
    };
    Find<QRadioButton>(&dlg, "cbIncludeTypes")->click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Find<QRadioButton>(&dlg, "rbAllTypes")->isChecked());
    TCleanUpDialog::EditTypeList = [](std::string& t) {
        t = "tmp,bak";
        return true;
    };
    Find<QRadioButton>(&dlg, "cbExcludeTypes")->click();
    EXPECT_EQ(Find<QLineEdit>(&dlg, "TypenEdit")->text().toStdString(), "tmp,bak");
    dlg.Apply();
    EXPECT_EQ(dlg.Settings.TypesMode, 2);
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, CleanupFtpSwitchCancelledStaysLocal)
{
    TCleanUpDialog dlg;
    dlg.show();
    TCleanUpDialog::EditFtp = [](TFtpParams&) { return false; };
    Find<QRadioButton>(&dlg, "rbFtp")->click();
    EXPECT_TRUE(Find<QRadioButton>(&dlg, "rbDir")->isChecked());
    EXPECT_FALSE(dlg.Settings.CuFtp);
    TCleanUpDialog::EditFtp = [](TFtpParams& p) {
        p.Host = "ftp.example.org";
        return true;
    };
    Find<QRadioButton>(&dlg, "rbFtp")->click();
    EXPECT_TRUE(dlg.Settings.CuFtp);
    EXPECT_FALSE(Find<QCheckBox>(&dlg, "RecycleCB")->isVisible()) << "no trash on a server";
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, CleanupRetainEmptyDirectoriesAlsoRetainsTheRoot)
{
    TCleanUpDialog dlg;
    dlg.show();
    QCheckBox* dirs = Find<QCheckBox>(&dlg, "cbEmptyDirs");
    QCheckBox* root = Find<QCheckBox>(&dlg, "cbEmptyRoot");
    dirs->setChecked(false);
    dirs->click();
    EXPECT_TRUE(root->isChecked());
    EXPECT_FALSE(root->isEnabled());
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, CleanupSubjectsChangeCaptionsAndGroups)
{
    TCleanUpDialog dlg;
    dlg.show();
    Find<QRadioButton>(&dlg, "rbDirs")->click();
    EXPECT_EQ(Find<QGroupBox>(&dlg, "gbTimeSlot")->title().toStdString(), "Age of root directories");
    EXPECT_EQ(Find<QGroupBox>(&dlg, "gbFilter")->title().toStdString(), "Filter for directories");
    EXPECT_EQ(Find<QPushButton>(&dlg, "StartBtn")->text().toStdString(),
              "Show and delete\nselected directories");
    EXPECT_FALSE(Find<QGroupBox>(&dlg, "gbTypes")->isVisible());
    Find<QRadioButton>(&dlg, "rbBakFiles")->click();
    EXPECT_TRUE(Find<QGroupBox>(&dlg, "gbSecOptions")->isVisible());
    EXPECT_EQ(Find<QGroupBox>(&dlg, "gbBakFiles")->title().toStdString(), "Delete security copies");
    Find<QCheckBox>(&dlg, "cxSecOptions")->click();
    EXPECT_FALSE(Find<QGroupBox>(&dlg, "gbTimeSlot")->isVisible());
    EXPECT_EQ(dlg.Settings.AgeMode, caAll);
    dlg.SetEditStatus(esSaved);
}

TEST_F(ToolEditorsTest, CleanupSavedTaskHoldsTheControls)
{
    TCleanUpDialog dlg;
    dlg.show();
    Find<QComboBox>(&dlg, "cbDir")->setEditText(QString::fromStdString(sandbox.Path("dst")));
    Find<QCheckBox>(&dlg, "RecycleCB")->click();
    Find<QLineEdit>(&dlg, "edVolSize")->setText("not a size");
    const std::string path = sandbox.Path("c.cuj");
    ASSERT_TRUE(dlg.SaveTask(path));
    TCleanupSettings r = DefaultCleanupSettings();
    LoadCleanupTask(path, r);
    EXPECT_EQ(r.Directory, sandbox.Path("dst"));
    EXPECT_TRUE(r.UseRecycler);
    EXPECT_EQ(r.SpaceSize, DefaultSpaceSize);
}

// ---- screenshots

const TScreenshotShow verifyShot("verify", [](const TScreenshotSaver& save) {
    ProgramDefaults();
    TVerifyDialog dlg;
    dlg.Settings.Source = "/media/backup/Drv";
    dlg.ShowSettings();
    dlg.show();
    save(&dlg);
    dlg.SetEditStatus(esSaved);
});

const TScreenshotShow cleanupShot("cleanup", [](const TScreenshotSaver& save) {
    ProgramDefaults();
    TCleanUpDialog dlg;
    dlg.Settings.Directory = "/media/backup";
    dlg.Settings.BakSec.Selection = 3;
    dlg.ShowSettings();
    dlg.show();
    save(&dlg);
    dlg.SetEditStatus(esSaved);
});

const TScreenshotShow cleanupCopiesShot("cleanup-copies", [](const TScreenshotSaver& save) {
    ProgramDefaults();
    TCleanUpDialog dlg;
    dlg.Settings.Subject = csSecurityCopies;
    dlg.ShowSettings();
    dlg.show();
    save(&dlg);
    dlg.SetEditStatus(esSaved);
});

const TScreenshotShow extViewShot("extviewer", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        std::string v = "", c = "/usr/bin/meld", o = "--diff";
        SelectExternalPrograms(v, c, o);
    });
});

} // namespace
