#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

#include "foundation/WinShell.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "starter/gui/ShortcutDlg.h"
#include "starter/gui/StarterMain.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

// Processes that are never started: the window tests do not run groups.
class TNoProcesses : public IStarterProcesses
{
public:
    TProcessHandle Start(const std::string&, const std::string&, const std::string&,
                         const std::vector<std::string>& Argv) override
    {
        Started.push_back(Argv);
        throw EProcessError("not started", 2);
    }
    uint32_t Wait(TProcessHandle, int) override { return 0; }
    std::vector<std::vector<std::string>> Started;
};

// Two groups with tasks, as a user would have set them up.
void FillGroups(TStarterSettings& s)
{
    s.Groups.push_back(std::make_unique<TTaskProperties>("Nightly"));
    auto& a = *s.Groups.back();
    a.User = "backup";
    a.Pwd = "secret";
    a.PwdPrompt = false;
    a.ParProc = true;
    a.StartDelay = 30;
    a.Status = 3;
    a.Delay = 7;
    a.AddTask("/home/u/Documents/Vastrel/Documents.buj", true);
    a.AddTask("/home/u/Documents/Vastrel/Photos.buj", false);
    a.AddTask("/home/u/Documents/Vastrel/Mail archive.buj", true);
    s.Groups.push_back(std::make_unique<TTaskProperties>("Weekly full"));
    auto& b = *s.Groups.back();
    b.User = "archive";
    b.AddTask("/home/u/Documents/Vastrel/Everything.buj", true);
}

class StarterMainTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        starter.Location.SettingsDir = sandbox.Path("settings/");
        starter.Location.IniName = starter.Location.SettingsDir + "QvStarter.ini";
        std::filesystem::create_directories(starter.Location.SettingsDir);
        FillGroups(starter.Settings);
        form = std::make_unique<TMainForm>(starter);
        form->show();
    }
    template <typename T> T* W(const char* name) { return Find<T>(form.get(), name); }

    TGuiStarterHost host;
    TNoProcesses processes;
    TStarter starter{host, processes, nullptr};
    std::unique_ptr<TMainForm> form;
};

TEST_F(StarterMainTest, ShowsAGroupAndStoresEditsBackBeforeAnotherGroupIsShown)
{
    EXPECT_EQ(W<QComboBox>("cbTasks")->count(), 2);
    EXPECT_EQ(W<QLineEdit>("edAccount")->text(), "backup");
    EXPECT_TRUE(W<QRadioButton>("rbPwdFixed")->isChecked());
    EXPECT_TRUE(W<QWidget>("paStat")->isVisible()) << "status mode 3 shows the display time";
    EXPECT_EQ(W<TRangeEdit>("reWait")->Value(), 7);
    QListWidget* list = W<QListWidget>("lbTasks");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->currentRow(), 0);

    // edit the account of the first group, move a task, then add a new group
    W<QLineEdit>("edAccount")->setText("nightly");
    list->setCurrentRow(2);
    QTest::mouseClick(W<QPushButton>("UpBtn"), Qt::LeftButton);
    EXPECT_EQ(list->currentRow(), 1) << "the moved task stays selected";
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        auto* combo = dlg->findChild<QComboBox*>();
        ASSERT_NE(combo, nullptr);
        combo->setCurrentText("Monthly");
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>("bbNewGroup"), Qt::LeftButton);
    ASSERT_EQ(starter.Settings.Groups.size(), 3u);
    EXPECT_EQ(form->TaskIndex(), 2);
    EXPECT_EQ(W<QLineEdit>("edAccount")->text(), "");
    EXPECT_TRUE(W<QRadioButton>("rbPwdPrompt")->isChecked()) << "no password: prompt";
    const TTaskProperties& a = *starter.Settings.Groups[0];
    EXPECT_EQ(a.User, "nightly");
    ASSERT_EQ(a.Tasks.size(), 3u);
    EXPECT_EQ(a.Tasks[1].FileName, "/home/u/Documents/Vastrel/Mail archive.buj");
    EXPECT_EQ(a.Tasks[2].FileName, "/home/u/Documents/Vastrel/Photos.buj");
    EXPECT_FALSE(a.Tasks[2].Enabled) << "the tick moves with its task";

    // an existing name (other case) offers to edit that group
    QueueMsgDialogAnswer(mrYes);
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        dlg->findChild<QComboBox*>()->setCurrentText("weekly FULL");
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>("bbNewGroup"), Qt::LeftButton);
    EXPECT_EQ(starter.Settings.Groups.size(), 3u);
    EXPECT_EQ(form->TaskIndex(), 1);
    EXPECT_EQ(W<QLineEdit>("edAccount")->text(), "archive");
}

TEST_F(StarterMainTest, DelayControlsFollowParallelProcessingAndKeepTheDelay)
{
    auto* parallel = W<QCheckBox>("cbParallel");
    auto* delay = W<QCheckBox>("cbDelay");
    auto* value = W<TRangeEdit>("reDelay");
    EXPECT_TRUE(delay->isEnabled());
    EXPECT_TRUE(delay->isChecked());
    EXPECT_TRUE(value->isEnabled());
    QTest::mouseClick(parallel, Qt::LeftButton);
    EXPECT_FALSE(delay->isEnabled());
    EXPECT_FALSE(value->isEnabled());
    form->StoreGroup();
    EXPECT_FALSE(starter.Settings.Groups[0]->ParProc);
    EXPECT_EQ(starter.Settings.Groups[0]->StartDelay, 30) << "the stored delay stays";

    // ticking the delay while it is 0 proposes 20 seconds
    QTest::mouseClick(parallel, Qt::LeftButton);
    value->SetValue(0);
    form->UpdateDelayControls();
    EXPECT_FALSE(delay->isChecked());
    QTest::mouseClick(delay, Qt::LeftButton);
    EXPECT_EQ(value->Value(), 20);
    EXPECT_TRUE(value->isEnabled());
}

TEST_F(StarterMainTest, ClosingSavesTheGroupsToTheSettingsFile)
{
    W<QLineEdit>("edAccount")->setText("nightly");
    W<QRadioButton>("rgStatus4")->click();
    W<QCheckBox>("cbSplash")->click();
    form->close();
    TStarterSettings read;
    LoadStarterSettings(starter.Location.IniName, "", read);
    ASSERT_EQ(read.Groups.size(), 2u);
    EXPECT_EQ(read.Groups[0]->User, "nightly");
    EXPECT_EQ(read.Groups[0]->Pwd, "secret");
    EXPECT_EQ(read.Groups[0]->Status, 4);
    EXPECT_TRUE(read.Groups[0]->NoSplash);
    EXPECT_EQ(read.LastTask, "Nightly");
}

TEST_F(StarterMainTest, EditingATaskWithoutTasksOrMainProgramReportsAndStartsNothing)
{
    // the group without tasks
    form->ShowGroup(1);
    W<QListWidget>("lbTasks")->clear();
    ClearMsgDialogLog();
    QueueMsgDialogAnswer(mrOk);
    QTest::mouseClick(W<QPushButton>("bbEdit"), Qt::LeftButton);
    ASSERT_EQ(MsgDialogLog().size(), 1u);
    EXPECT_EQ(MsgDialogLog()[0].Text, "No backup tasks specified!");
    EXPECT_TRUE(processes.Started.empty());
}

TEST_F(StarterMainTest, TheErrorReportIsEditedInTheMailDialogAndSwitchesTheBox)
{
    starter::TMailData& m = starter.Settings.MailData;
    m.SMTP = "mail.example.org";
    m.Username = "starter";
    m.Recipients = "admin@example.org";
    m.Sender = "starter@example.org";
    auto* box = W<QCheckBox>("cbMail");
    ASSERT_FALSE(box->isChecked());

    // ticking the box opens the settings; Cancel leaves it unticked
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), "MailDialog");
        EXPECT_TRUE(Find<QWidget>(dlg, "lbAttach")->isHidden()) << "no attachments in the error report";
        EXPECT_EQ(Find<QComboBox>(dlg, "edServer")->currentText(), "mail.example.org");
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(m.Enabled);

    // OK with "Only on errors" switches the report on and keeps the settings
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        Find<QRadioButton>(dlg, "rbError")->click();
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>("MailBtn"), Qt::LeftButton);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(m.Enabled);
    EXPECT_EQ(m.SMTP, "mail.example.org");
    EXPECT_EQ(m.Recipients, "admin@example.org");

    // unticking switches it off without a dialog
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(m.Enabled);
}

TEST_F(StarterMainTest, ADesktopShortcutStartsTheChosenGroupsInListOrder)
{
    ClearMsgDialogLog();
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), "ShortcutDialog");
        EXPECT_TRUE(Find<QCheckBox>(dlg, "cbWritelog")->isChecked()) << "the window proposes a run log";
        EXPECT_FALSE(Find<QCheckBox>(dlg, "cbTerm")->isEnabled());
        // OK without a group or a name is refused
        QueueMsgDialogAnswer(mrOk);
        QTest::keyClick(dlg, Qt::Key_Return);
        ASSERT_TRUE(dlg->isVisible());
        auto* list = Find<QListWidget>(dlg, "lbConfigs");
        list->item(1)->setSelected(true);
        list->item(0)->setSelected(true);
        QueueMsgDialogAnswer(mrOk);
        QTest::keyClick(dlg, Qt::Key_Return);
        ASSERT_TRUE(dlg->isVisible());
        Find<QLineEdit>(dlg, "edName")->setText("Night/ly");
        QueueMsgDialogAnswer(mrOk);
        QTest::keyClick(dlg, Qt::Key_Return);
        ASSERT_TRUE(dlg->isVisible());
        Find<QLineEdit>(dlg, "edName")->setText("Nightly");
        Find<QRadioButton>(dlg, "rgAction6")->click();
        EXPECT_TRUE(Find<QCheckBox>(dlg, "cbTerm")->isEnabled());
        Find<QCheckBox>(dlg, "cbTerm")->click();
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>("bbDesktop"), Qt::LeftButton);
    ASSERT_EQ(MsgDialogLog().size(), 3u);
    EXPECT_EQ(MsgDialogLog()[0].Text, "Please select at least one backup group!");
    EXPECT_EQ(MsgDialogLog()[1].Text, "Please specify a name for this task!");
    EXPECT_EQ(MsgDialogLog()[2].Text, "\"Night/ly\" contains invalid characters (* ? < > : \" / \\ |)!");

    const std::string link = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY) + "/Nightly.lnk";
    std::string target, arguments, workDir, description;
    bool admin = true;
    ASSERT_EQ(ReadShellLink(link, target, arguments, workDir, description, admin), 0) << link;
    EXPECT_EQ(arguments, "Nightly \"Weekly full\" /force /logmode:1 /end:restart /term");
    EXPECT_EQ(description, "Nightly");
    EXPECT_FALSE(admin);
}

static const TScreenshotShow shot("starter", [](const TScreenshotSaver& save) {
    TGuiStarterHost host;
    TNoProcesses processes;
    TStarter starter(host, processes, nullptr);
    FillGroups(starter.Settings);
    TMainForm form(starter);
    form.show();
    save(&form);
});

static const TScreenshotShow shortcutShot("starter-shortcut", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TShortcutDialog dlg("/home/u/.config/Vastrel6/");
        std::string name = "Nightly", cmdLine = "Nightly /logmode:1 /end:shutdown /term";
        dlg.Execute("Create Desktop shortcut", "Name of shortcut:", true,
                    {"Nightly", "Weekly full", "Photos"}, name, cmdLine, "");
    });
});

} // namespace
