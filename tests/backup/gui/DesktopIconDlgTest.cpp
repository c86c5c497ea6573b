#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "backup/gui/DesktopIconDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

const TScreenshotShow desktopIconShot("desktopicon", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        std::string name = "Qv-Bu-Documents", desc = "Backup: Documents", options = " /end:shutdown";
        int runAs = 0, slot = -1;
        ShowDesktopIconDialogFull("Create Desktop shortcut to start backups",
                                  "\"/home/user/Tasks/Documents.buj\"", "\"1: Documents\",\"3: Photos\"",
                                  name, desc, options, runAs, slot);
    });
});

// Picks the menu item with that index (or closes the menu without a choice for -1) once the pop-up
// menu shows.
void WhenMenu(int index)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, index] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        timer->stop();
        timer->deleteLater();
        if (index < 0) {
            QTest::keyClick(menu, Qt::Key_Escape);
            return;
        }
        menu->setActiveAction(menu->actions().at(index));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    timer->start(20);
}

void ClickOk(QWidget* w)
{
    QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}

struct Result
{
    bool Ok = false;
    std::string Name, Desc, Options;
    int RunAs = 0, Slot = -1;
};

Result RunDialog(const std::string& tasks, const std::string& autoTasks, const std::string& options,
                 int runAs, std::function<void(QWidget*)> act)
{
    WhenModal([act](QWidget* w) {
        act(w);
        if (w->isVisible())
            ClickOk(w);
    });
    Result r;
    r.Name = "Qv-Bu-Task";
    r.Desc = "Backup: Task";
    r.Options = options;
    r.RunAs = runAs;
    r.Ok = ShowDesktopIconDialogFull("Create Desktop shortcut to start backups", tasks, autoTasks, r.Name,
                                     r.Desc, r.Options, r.RunAs, r.Slot);
    return r;
}

TEST(DesktopIconDlgTest, DefaultsGiveTheCloseAutomaticallyAndHideOptions)
{
    Result r = RunDialog("\"/t/a.buj\"", "", "", 0, [](QWidget*) {});
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(" /prompt:delay /hide", r.Options);
    EXPECT_EQ(-1, r.Slot);
    EXPECT_EQ(0, r.RunAs);
    EXPECT_EQ("Qv-Bu-Task", r.Name);
}

TEST(DesktopIconDlgTest, IncomingOptionsAreShownAndUnshownOnesTravelOn)
{
    bool silent = false, shutdown = false, errorButton = false;
    QString errorHint;
    Result r = RunDialog("\"/t/a.buj\"", "", " /prompt:silent /end:shut /parallel \"/xyz:a b\" plain", 0,
                         [&](QWidget* w) {
                             silent = Find<QRadioButton>(w, "rgStatus4")->isChecked();
                             shutdown = Find<QRadioButton>(w, "rbShutdown")->isChecked();
                             errorButton = Find<QPushButton>(w, "bbErrorAction")->isEnabled();
                             errorHint = Find<QPushButton>(w, "bbErrorAction")->toolTip();
                         });
    EXPECT_TRUE(silent);
    EXPECT_TRUE(shutdown);
    EXPECT_TRUE(errorButton);
    EXPECT_EQ(QStringLiteral("Disable Shutdown on errors"), errorHint);
    EXPECT_EQ(" /prompt:silent /hide /end:shutdown /parallel \"/xyz:a b\"", r.Options);
}

TEST(DesktopIconDlgTest, PromptValuesActionsAndSwitchesBuildTheOptionsInOrder)
{
    struct Case
    {
        const char* In;
        const char* Out;
    };
    const Case cases[] = {
        {" /prompt:q", " /prompt:quiet /hide"},
        {" -prompt:w /suspend:h", " /prompt:wait /hide /suspend:hibernate"},
        {" /p:e /e:l", " /prompt:error /hide /end:logoff"},
        {" /prompt:nonsense /end:x", " /prompt:delay /hide"},
        {" /suspend:s /end:hy", " /prompt:delay /hide /end:hybrid"},
    };
    for (const Case& c : cases) {
        Result r = RunDialog("\"/t/a.buj\"", "", c.In, 0, [](QWidget*) {});
        EXPECT_EQ(c.Out, r.Options) << c.In;
    }
    Result r = RunDialog("\"/t/a.buj\"", "", "", 0, [](QWidget* w) {
        Find<QCheckBox>(w, "cbSplash")->setChecked(false);
        Find<QCheckBox>(w, "cbAction")->setChecked(false);
        Find<QRadioButton>(w, "rbLockDown")->click();
        Find<QRadioButton>(w, "rgStatus2")->click();
    });
    EXPECT_EQ(" /prompt:wait /noaction /end:lockdown", r.Options);
}

TEST(DesktopIconDlgTest, SeveralTasksOfferParallelProcessingInsteadOfAutomaticTasks)
{
    bool autoShown = true, parallelShown = false, actionHidden = false;
    QString tasksText, tasksHint;
    Result r = RunDialog("\"/t/a.buj\" \"/t/b c.buj\"", "\"1: Daily\"", "", 0, [&](QWidget* w) {
        autoShown = Find<QPushButton>(w, "btAutoTask")->isVisible();
        parallelShown = Find<QCheckBox>(w, "cbParallel")->isVisible();
        tasksText = Find<QLineEdit>(w, "edTasks")->text();
        tasksHint = Find<QLineEdit>(w, "edTasks")->toolTip();
        Find<QCheckBox>(w, "cbParallel")->setChecked(true);
        actionHidden = !Find<QCheckBox>(w, "cbAction")->isVisible();
        Find<QCheckBox>(w, "cbAction")->setChecked(false);
    });
    EXPECT_FALSE(autoShown);
    EXPECT_TRUE(parallelShown);
    EXPECT_TRUE(actionHidden);
    EXPECT_EQ(QStringLiteral("2 selected tasks"), tasksText);
    EXPECT_EQ(QStringLiteral("/t/a.buj\r\n/t/b c.buj"), tasksHint);
    // With parallel processing no "noaction" is written, whatever the hidden box says.
    EXPECT_EQ(" /prompt:delay /parallel /hide", r.Options);
}

TEST(DesktopIconDlgTest, ChoosingAnAutomaticSlotReplacesTheTasks)
{
    QString tasksText, descText, restoredText;
    bool actionHidden = false, actionBack = false;
    // Items: header, "0: …", "1: Daily", "3: Weekly backup", "None".
    Result r = RunDialog("\"/t/a.buj\"", "\"1: Daily\",\"3: Weekly backup\"", "", 0, [&](QWidget* w) {
        WhenMenu(3);
        QTest::mouseClick(Find<QPushButton>(w, "btAutoTask"), Qt::LeftButton);
        tasksText = Find<QLineEdit>(w, "edTasks")->text();
        descText = Find<QLineEdit>(w, "edDescription")->text();
        actionHidden = !Find<QCheckBox>(w, "cbAction")->isVisible();
    });
    EXPECT_EQ(QStringLiteral("Automatic backup 3: Weekly backup"), tasksText);
    EXPECT_EQ(tasksText, descText);
    EXPECT_TRUE(actionHidden);
    EXPECT_EQ(3, r.Slot);
    EXPECT_EQ("Automatic backup 3: Weekly backup", r.Desc);

    // "None" (or no choice) goes back to the task and its description.
    for (int item : {4, -1, 0}) {
        r = RunDialog("\"/t/a.buj\"", "\"1: Daily\"", "", 0, [&](QWidget* w) {
            WhenMenu(1);
            QTest::mouseClick(Find<QPushButton>(w, "btAutoTask"), Qt::LeftButton);
            WhenMenu(item == 4 ? 3 : item);
            QTest::mouseClick(Find<QPushButton>(w, "btAutoTask"), Qt::LeftButton);
            restoredText = Find<QLineEdit>(w, "edTasks")->text();
            actionBack = Find<QCheckBox>(w, "cbAction")->isVisible();
        });
        EXPECT_EQ(-1, r.Slot) << item;
        EXPECT_EQ(QStringLiteral("\"/t/a.buj\""), restoredText) << item;
        EXPECT_EQ("Backup: Task", r.Desc) << item;
        EXPECT_TRUE(actionBack) << item;
    }

    // The entry of all tasks started by request is slot 0.
    r = RunDialog("\"/t/a.buj\"", "\"1: Daily\"", "", 0, [&](QWidget* w) {
        WhenMenu(1);
        QTest::mouseClick(Find<QPushButton>(w, "btAutoTask"), Qt::LeftButton);
    });
    EXPECT_EQ(0, r.Slot);
    EXPECT_EQ("Automatic backups: All automatic tasks started by request", r.Desc);
}

TEST(DesktopIconDlgTest, RunAsAdministratorAndCancel)
{
    bool shown = true;
    Result r = RunDialog("\"/t/a.buj\"", "", "", -1,
                         [&](QWidget* w) { shown = Find<QCheckBox>(w, "cbRunAs")->isVisible(); });
    EXPECT_FALSE(shown);
    EXPECT_EQ(-1, r.RunAs);

    r = RunDialog("\"/t/a.buj\"", "", "", 0,
                  [](QWidget* w) { Find<QCheckBox>(w, "cbRunAs")->setChecked(true); });
    EXPECT_EQ(1, r.RunAs);

    r = RunDialog("\"/t/a.buj\"", "", " /hide", 0, [](QWidget* w) {
        Find<QLineEdit>(w, "edShortcut")->setText(QStringLiteral("changed"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ("Qv-Bu-Task", r.Name);
    EXPECT_EQ(" /hide", r.Options);
}

TEST(DesktopIconDlgTest, EmptyOrIllegalShortcutNamesAreRefusedInPlace)
{
    ClearMsgDialogLog();
    bool stayedOpen = false;
    Result r = RunDialog("\"/t/a.buj\"", "", "", 0, [&](QWidget* w) {
        auto* name = Find<QLineEdit>(w, "edShortcut");
        bool open = true;
        for (const char* text : {"  ", "a/b", "x:y"}) {
            name->setText(QString::fromLatin1(text));
            QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            open = open && w->isVisible();
        }
        stayedOpen = open;
        name->setText(QStringLiteral(" Daily backup "));
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ("Daily backup", r.Name);
    ASSERT_EQ(3u, MsgDialogLog().size());
    EXPECT_EQ("Invalid name of desktop shortcut!", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
}

TEST(DesktopIconDlgTest, ErrorActionButtonEditsTheMaskOfTheChosenAction)
{
    std::string asked;
    SetErrorActionDialog([&](const QPoint&, const std::string& action, int& mask) {
        asked = action;
        mask = 17;
        return true;
    });
    bool enabledBefore = true;
    Result r = RunDialog("\"/t/a.buj\"", "", "", 0, [&](QWidget* w) {
        enabledBefore = Find<QPushButton>(w, "bbErrorAction")->isEnabled();
        Find<QRadioButton>(w, "rbStandby")->click();
        QTest::mouseClick(Find<QPushButton>(w, "bbErrorAction"), Qt::LeftButton);
    });
    SetErrorActionDialog(nullptr);
    EXPECT_FALSE(enabledBefore);
    EXPECT_EQ("Sleep", asked);
    EXPECT_EQ(" /prompt:delay /hide /suspend:standby /erractions:17", r.Options);

    // An earlier mask travels on unshown, but not twice when the dialog writes its own.
    r = RunDialog("\"/t/a.buj\"", "", " /erractions:5", 0, [](QWidget*) {});
    EXPECT_EQ(" /prompt:delay /hide /erractions:5", r.Options);
}

} // namespace
