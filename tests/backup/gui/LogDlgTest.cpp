#include "backup/gui/LogDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "backup/gui/ErrorActionDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/gui/WinUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {
void ClickOk(QWidget* w)
{
    Find<QPushButton>(w, "OKBtn")->click();
}

const TScreenshotShow logShot("log-dialog", [](const TScreenshotSaver& save) {
    int mode = lmLong | lmErrorSummary | lmDeleteLog;
    std::string name = "%taskname%.log";
    ScreenshotModal(save, [&] { ShowLogDialog(DefaultFormPos, lkBackup, mode, name); });
});

const TScreenshotShow errorShot("error-action-dialog", [](const TScreenshotSaver& save) {
    int mask = eaTaskNotFound | eaOtherErrors;
    ScreenshotModal(save, [&] { ShowErrorActionDialog(DefaultFormPos, "Shutdown", mask); });
});

class LogDlgTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        saved = ProgSettings.Directories.LogDir;
        ProgSettings.Directories.LogDir = sandbox.Path("logs");
    }
    void TearDown() override { ProgSettings.Directories.LogDir = saved; }
    std::string saved;
};
} // namespace

TEST_F(LogDlgTest, OptionsFollowTheLevelAndTheKind)
{
    struct Case
    {
        TLogKind Kind;
        int Level;
        bool Options, Warning, Summary;
        const char* WarningText;
    };
    const Case cases[] = {
        {lkBackup, lmOff, false, false, false, nullptr},
        {lkBackup, lmShort, true, true, false, "Show warnings and detailed error messages"},
        {lkBackup, lmLong, true, true, true, "Show skipped files in log"},
        {lkVerify, lmLong, true, false, true, nullptr},
        {lkBackup, lmVerbose, true, false, true, nullptr},
        {lkCleanup, lmShort, true, false, false, nullptr},
    };
    for (const Case& c : cases) {
        int mode = lmOff;
        bool options = false, warning = false, summary = false;
        QString warningText;
        WhenModal([&](QWidget* w) {
            Find<QRadioButton>(w, qPrintable(QStringLiteral("rgMode%1").arg(c.Level)))->setChecked(true);
            options = Find<QGroupBox>(w, "gbOptions")->isVisible();
            warning = Find<QCheckBox>(w, "cbWarning")->isVisible();
            warningText = Find<QCheckBox>(w, "cbWarning")->text();
            summary = Find<QCheckBox>(w, "cbErrSummary")->isVisible();
            for (const char* box : {"cbWarning", "cbErrSummary", "cbPrint"})
                if (Find<QCheckBox>(w, box)->isVisible())
                    Find<QCheckBox>(w, box)->setChecked(true);
            ClickOk(w);
        });
        ASSERT_TRUE(ShowLogModeDialog(DefaultFormPos, c.Kind, mode));
        EXPECT_EQ(c.Options, options) << c.Kind << "/" << c.Level;
        EXPECT_EQ(c.Warning, warning) << c.Kind << "/" << c.Level;
        EXPECT_EQ(c.Summary, summary) << c.Kind << "/" << c.Level;
        if (c.WarningText) {
            EXPECT_EQ(QString::fromUtf8(c.WarningText), warningText);
        }
        const int want = c.Level | (c.Options ? lmPrint : 0) | (c.Warning ? lmWarnings : 0) |
                         (c.Summary ? lmErrorSummary : 0);
        EXPECT_EQ(want, mode) << c.Kind << "/" << c.Level;
    }
}

TEST_F(LogDlgTest, StoredModeDropsBitsThatDoNotApply)
{
    // Verbose drops the warning bit, short drops the error summary; bit 9 and unknown bits go too.
    const std::pair<int, int> cases[] = {
        {lmVerbose | lmWarnings | lmErrorSummary | lmTaskLogName | 16, lmVerbose | lmErrorSummary},
        {lmShort | lmWarnings | lmErrorSummary | lmPrint, lmShort | lmWarnings | lmPrint},
        {lmOff | lmErrorSummary | lmWarnings, lmOff},
    };
    for (const auto& [in, want] : cases) {
        int mode = in;
        std::string name;
        WhenModal([](QWidget* w) { ClickOk(w); });
        ASSERT_TRUE(ShowLogDialog(DefaultFormPos, lkBackup, mode, name));
        EXPECT_EQ(want, mode) << in;
        EXPECT_EQ("", name);
    }
}

TEST_F(LogDlgTest, OwnLogFileGetsTheDefaultNameTheExtensionAndARelativePath)
{
    int mode = lmShort;
    std::string name;
    QString filled, dir;
    bool delEnabledBefore = true;
    WhenModal([&](QWidget* w) {
        delEnabledBefore = Find<QCheckBox>(w, "cbDelLog")->isEnabled();
        dir = Find<QLabel>(w, "laLogDir")->toolTip().isEmpty() ? Find<QLabel>(w, "laLogDir")->text()
                                                               : Find<QLabel>(w, "laLogDir")->toolTip();
        Find<QRadioButton>(w, "rbTaskLog")->setChecked(true);
        filled = Find<QLineEdit>(w, "edLogname")->text();
        Find<QCheckBox>(w, "cbDelLog")->setChecked(true);
        ClickOk(w);
    });
    ASSERT_TRUE(ShowLogDialog(DefaultFormPos, lkVerify, mode, name));
    EXPECT_FALSE(delEnabledBefore);
    EXPECT_EQ(QString::fromStdString(sandbox.Path("logs") + "/"), dir);
    EXPECT_EQ(QStringLiteral("V-%taskname%.log"), filled);
    EXPECT_EQ("V-%taskname%.log", name);
    EXPECT_EQ(lmShort | lmDeleteLog, mode);

    struct Case
    {
        std::string Typed, Want;
        bool DirShown;
    };
    const Case cases[] = {
        {"daily", "daily.log", true},
        {"DAILY.LOG", "DAILY.LOG", true},
        {sandbox.Path("logs") + "/sub/daily.log", "sub/daily.log", false},
        {"%dest%/run", "%dest%/run.log", false},
    };
    for (const Case& c : cases) {
        bool dirShown = !c.DirShown;
        WhenModal([&](QWidget* w) {
            Find<QLineEdit>(w, "edLogname")->setText(QString::fromStdString(c.Typed));
            dirShown = Find<QLabel>(w, "laLogDir")->isVisible();
            ClickOk(w);
        });
        ASSERT_TRUE(ShowLogDialog(DefaultFormPos, lkBackup, mode, name));
        EXPECT_EQ(c.Want, name);
        EXPECT_EQ(c.DirShown, dirShown) << c.Typed;
    }

    // The default log empties and disables the name; "Set to name of task" brings it back.
    QString emptied, reset;
    bool editEnabled = true;
    WhenModal([&](QWidget* w) {
        Find<QRadioButton>(w, "rbDefLog")->setChecked(true);
        emptied = Find<QLineEdit>(w, "edLogname")->text();
        editEnabled = Find<QLineEdit>(w, "edLogname")->isEnabled();
        Find<QPushButton>(w, "btLogReset")->click();
        reset = Find<QLineEdit>(w, "edLogname")->text();
        Find<QRadioButton>(w, "rbDefLog")->setChecked(true);
        ClickOk(w);
    });
    ASSERT_TRUE(ShowLogDialog(DefaultFormPos, lkRestore, mode, name));
    EXPECT_EQ(QString(), emptied);
    EXPECT_FALSE(editEnabled);
    EXPECT_EQ(QStringLiteral("R-%taskname%.log"), reset);
    EXPECT_EQ("", name);
    EXPECT_EQ(0, mode & lmDeleteLog);
}

TEST_F(LogDlgTest, GlobalPreferencesAndCancel)
{
    const int savedMode = ProgSettings.LogSettings.LogMode;
    ProgSettings.LogSettings.LogMode = lmLong | lmErrorSummary | lmTaskLogName;
    int mode = lmShort;
    std::string name;
    WhenModal([](QWidget* w) {
        Find<QPushButton>(w, "bbPrefs")->click();
        ClickOk(w);
    });
    ASSERT_TRUE(ShowLogDialog(DefaultFormPos, lkBackup, mode, name));
    EXPECT_EQ(lmLong | lmErrorSummary, mode);
    EXPECT_EQ("%taskname%.log", name);
    ProgSettings.LogSettings.LogMode = savedMode;

    int kept = lmVerbose;
    std::string keptName = "x.log";
    QString caption;
    WhenModal([&](QWidget* w) {
        caption = w->windowTitle();
        Find<QRadioButton>(w, "rgMode0")->setChecked(true);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowLogDialog(DefaultFormPos, lkCleanup, kept, keptName));
    EXPECT_EQ(QStringLiteral("Settings for Cleanup log"), caption);
    EXPECT_EQ(lmVerbose, kept);
    EXPECT_EQ("x.log", keptName);
}

TEST_F(LogDlgTest, LogModeDialogHasNoFileGroup)
{
    int mode = lmShort;
    bool fileGroup = true;
    WhenModal([&](QWidget* w) {
        fileGroup = Find<QGroupBox>(w, "gbLogFile")->isVisible();
        ClickOk(w);
    });
    ASSERT_TRUE(ShowLogModeDialog(DefaultFormPos, lkBackup, mode));
    EXPECT_FALSE(fileGroup);
}

TEST(ErrorActionDlgTest, TicksFromTheMaskAndReturnsOnlyTheTickedBits)
{
    int mask = eaDestination | 64;
    QString title;
    bool destination = false, other = true;
    WhenModal([&](QWidget* w) {
        title = Find<QGroupBox>(w, "gbErrors")->title();
        destination = Find<QCheckBox>(w, "cbErr2")->isChecked();
        other = Find<QCheckBox>(w, "cbErr16")->isChecked();
        Find<QCheckBox>(w, "cbErr2")->setChecked(false);
        Find<QCheckBox>(w, "cbErr1")->setChecked(true);
        Find<QCheckBox>(w, "cbErr16")->setChecked(true);
        ClickOk(w);
    });
    ASSERT_TRUE(ShowErrorActionDialog(DefaultFormPos, "Shutdown", mask));
    EXPECT_EQ(QStringLiteral("No Shutdown on these errors"), title);
    EXPECT_TRUE(destination);
    EXPECT_FALSE(other);
    EXPECT_EQ(17, mask);
    for (int state : {1, 4})
        EXPECT_FALSE(ErrorAllowsActionMask(mask, state)) << state;
    for (int state : {2, 3, 5, 6})
        EXPECT_TRUE(ErrorAllowsActionMask(mask, state)) << state;

    WhenModal([](QWidget* w) {
        Find<QCheckBox>(w, "cbErr8")->setChecked(true);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowErrorActionDialog(DefaultFormPos, "Shutdown", mask));
    EXPECT_EQ(17, mask);
}
