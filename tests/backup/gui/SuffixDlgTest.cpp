#include "backup/gui/SuffixDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "backup/gui/SyncSuffixDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {
class SuffixDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ProgSettings.SecCopySettings = {"~", "_", "bak", "sync"};
        ClearMsgDialogLog();
    }
    void TearDown() override { ClearMsgDialogLog(); }
};

void ClickOk(QWidget* w)
{
    Find<QPushButton>(w, "OKBtn")->click();
}

TSecSettings BakDefaults()
{
    TSecSettings sec;
    InitBakSecSettings(sec);
    return sec;
}

const TScreenshotShow suffixShot("suffix-dialog", [](const TScreenshotSaver& save) {
    ProgSettings.SecCopySettings = {"~", "_", "bak", "sync"};
    TSecSettings sec = BakDefaults();
    sec.DirMode = sdSubDir;
    sec.MaxHist = 3;
    sec.FileSuffix = "old-#";
    sec.AgeInWeeks = 4;
    ScreenshotModal(save, [&] { ShowSuffixDialog(boDefault, true, sec); });
});

const TScreenshotShow syncShot("sync-suffix-dialog", [](const TScreenshotSaver& save) {
    ProgSettings.SecCopySettings = {"~", "_", "bak", "sync"};
    TSecSettings sec;
    InitSyncSecSettings(sec);
    ScreenshotModal(save, [&] { ShowSyncSuffixDialog(false, true, sec); });
});
} // namespace

TEST_F(SuffixDlgTest, HistoryCopiesStoreTheCounterSuffixAndReopenWithoutIt)
{
    TSecSettings sec = BakDefaults();
    WhenModal([](QWidget* w) {
        Find<TRangeEdit>(w, "reMaxHist")->setText(QStringLiteral("3"));
        Find<QLineEdit>(w, "edSuffix")->setText(QStringLiteral(".old"));
        Find<TRangeEdit>(w, "reAge")->setText(QStringLiteral("4"));
        Find<TRangeEdit>(w, "reMinHist")->setText(QStringLiteral("2"));
        ClickOk(w);
    });
    ASSERT_TRUE(ShowSuffixDialog(boDefault, false, sec));
    EXPECT_EQ("old-#", sec.FileSuffix);
    EXPECT_EQ(3, sec.MaxHist);
    EXPECT_EQ(2, sec.MinHist);
    EXPECT_EQ(4, sec.AgeInWeeks);
    EXPECT_EQ("bak-#", [] {
        // An empty suffix with history copies keeps only the counter.
        TSecSettings s = BakDefaults();
        WhenModal([](QWidget* w) {
            Find<TRangeEdit>(w, "reMaxHist")->setText(QStringLiteral("2"));
            ClickOk(w);
        });
        ShowSuffixDialog(boDefault, false, s);
        return s.FileSuffix;
    }());

    QString shown;
    bool minEnabled = false, dateButton = true;
    WhenModal([&](QWidget* w) {
        shown = Find<QLineEdit>(w, "edSuffix")->text();
        minEnabled = Find<TRangeEdit>(w, "reMinHist")->isEnabled();
        dateButton = Find<QPushButton>(w, "btnBDate")->isEnabled();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowSuffixDialog(boDefault, false, sec));
    EXPECT_EQ(QStringLiteral("old"), shown);
    EXPECT_TRUE(minEnabled);
    EXPECT_FALSE(dateButton);
}

TEST_F(SuffixDlgTest, InvalidSuffixesAndOutOfRangeCountersAreRefusedInPlace)
{
    struct Case
    {
        const char* Radio;
        const char* Edit;
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {
        {"rbNone", "edSuffix", "", "Invalid suffix for backup copies!"},
        {"rbSubDir", "edSuffix", "a/b", "Invalid suffix for backup copies!"},
        {"rbNone", "edSuffix", "bak?", "Invalid suffix for backup copies!"},
        {"rbNone", "reMaxHist", "100", "Range check error (1 .. 99)"},
        {"rbNone", "reAge", "1000", "Range check error (0 .. 999)"},
    };
    for (const Case& c : cases) {
        TSecSettings sec = BakDefaults();
        const TSecSettings before = sec;
        ClearMsgDialogLog();
        bool stayed = false;
        WhenModal([&](QWidget* w) {
            Find<QRadioButton>(w, c.Radio)->setChecked(true);
            Find<QLineEdit>(w, c.Edit)->setText(QString::fromUtf8(c.Text));
            QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            stayed = w->isVisible();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_FALSE(ShowSuffixDialog(boDefault, false, sec)) << c.Text;
        EXPECT_TRUE(stayed) << c.Text;
        ASSERT_FALSE(MsgDialogLog().empty()) << c.Text;
        EXPECT_EQ(c.Message, MsgDialogLog().back().Text);
        EXPECT_EQ(before.FileSuffix, sec.FileSuffix);
        EXPECT_EQ(before.MaxHist, sec.MaxHist);
    }
}

TEST_F(SuffixDlgTest, FtpAndZipLimitTheLocationsAndFtpChangesTheRecordEvenOnCancel)
{
    TSecSettings sec = BakDefaults();
    sec.DirMode = sdRootDir;
    bool subDir = false, sepShown = true, ageShown = true;
    WhenModal([&](QWidget* w) {
        subDir = Find<QRadioButton>(w, "rbSubDir")->isChecked();
        sepShown = Find<QRadioButton>(w, "rbSepDir")->isVisible();
        ageShown = Find<QGroupBox>(w, "gbAge")->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowSuffixDialog(boFTP, true, sec));
    EXPECT_TRUE(subDir);
    EXPECT_FALSE(sepShown);
    EXPECT_FALSE(ageShown);
    EXPECT_EQ(sdSubDir, sec.DirMode);

    bool buttons = true, rootShown = true;
    WhenModal([&](QWidget* w) {
        buttons = Find<QPushButton>(w, "btnBDate")->isVisible();
        rootShown = Find<QRadioButton>(w, "rbRootDir")->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowSuffixDialog(boZip, true, sec));
    EXPECT_FALSE(buttons);
    EXPECT_FALSE(rootShown);
}

TEST_F(SuffixDlgTest, RootDirectoriesByDateOrDrive)
{
    // By backup date: no suffix, the drive box on and disabled, the age group renamed.
    TSecSettings sec = BakDefaults();
    QString ageTitle;
    bool driveChecked = false, driveEnabled = true, suffixShown = true;
    WhenModal([&](QWidget* w) {
        Find<QRadioButton>(w, "rbRootDir")->setChecked(true);
        Find<QCheckBox>(w, "cbRootDate")->setChecked(true);
        ageTitle = Find<QGroupBox>(w, "gbAge")->title();
        driveChecked = Find<QCheckBox>(w, "cbRootDrive")->isChecked();
        driveEnabled = Find<QCheckBox>(w, "cbRootDrive")->isEnabled();
        suffixShown = Find<QGroupBox>(w, "gbSuffix")->isVisible();
        Find<QLineEdit>(w, "edPrefix")->setText(QStringLiteral("Old"));
        ClickOk(w);
    });
    ASSERT_TRUE(ShowSuffixDialog(boDefault, true, sec));
    EXPECT_EQ(QStringLiteral("Maximum age of backup"), ageTitle);
    EXPECT_TRUE(driveChecked);
    EXPECT_FALSE(driveEnabled);
    EXPECT_FALSE(suffixShown);
    EXPECT_EQ(sdRootDate, sec.DirMode);
    EXPECT_EQ("", sec.FileSuffix);
    EXPECT_EQ("Old", sec.DirPrefix);

    // A task in sdRootDrive keeps it through OK; without separate drives it becomes sdRootDir.
    sec.DirMode = sdRootDrive;
    sec.FileSuffix = "bak";
    WhenModal([](QWidget* w) { ClickOk(w); });
    ASSERT_TRUE(ShowSuffixDialog(boDefault, true, sec));
    EXPECT_EQ(sdRootDrive, sec.DirMode);
    WhenModal([](QWidget* w) { ClickOk(w); });
    ASSERT_TRUE(ShowSuffixDialog(boDefault, false, sec));
    EXPECT_EQ(sdRootDir, sec.DirMode);
}

TEST_F(SuffixDlgTest, PlaceholdersDisableTheMaximumAndAnEmptyPrefixInPlaceGetsTheDefault)
{
    TSecSettings sec = BakDefaults();
    sec.DirPrefix.clear();
    bool maxEnabled = true;
    WhenModal([&](QWidget* w) {
        Find<QLineEdit>(w, "edSuffix")->setText(QStringLiteral("bak"));
        Find<QPushButton>(w, "btnBDate")->click();
        maxEnabled = Find<TRangeEdit>(w, "reMaxHist")->isEnabled();
        ClickOk(w);
    });
    ASSERT_TRUE(ShowSuffixDialog(boDefault, false, sec));
    EXPECT_FALSE(maxEnabled);
    EXPECT_EQ("bak%bdate%", sec.FileSuffix);
    EXPECT_EQ(sdNone, sec.DirMode);
    EXPECT_EQ("~", sec.DirPrefix);
}

TEST_F(SuffixDlgTest, SyncDialogForFtpFallsBackToSubdirectoryEvenOnCancel)
{
    for (TSecDirMode mode : {sdSepDir, sdRootDir, sdRootDrive}) {
        TSecSettings sec;
        InitSyncSecSettings(sec);
        sec.DirMode = mode;
        bool subDir = false, rootShown = true, fdate = true;
        WhenModal([&](QWidget* w) {
            subDir = Find<QRadioButton>(w, "rbSubDir")->isChecked();
            rootShown = Find<QRadioButton>(w, "rbRootDir")->isVisible();
            fdate = Find<QPushButton>(w, "btnFDate")->isEnabled();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_FALSE(ShowSyncSuffixDialog(true, true, sec));
        EXPECT_TRUE(subDir);
        EXPECT_FALSE(rootShown);
        EXPECT_FALSE(fdate);
        EXPECT_EQ(sdSubDir, sec.DirMode);
    }
}

TEST_F(SuffixDlgTest, SyncDialogMirrorsThePrefixesAndFillsDefaults)
{
    TSecSettings sec;
    InitSyncSecSettings(sec);
    bool locationPrefixShown = true, dirPrefixShown = false;
    QString mirrored;
    WhenModal([&](QWidget* w) {
        locationPrefixShown = Find<QLineEdit>(w, "edPrefix")->isVisible();
        dirPrefixShown = Find<QLineEdit>(w, "edDirPrefix")->isVisible();
        Find<QLineEdit>(w, "edDirPrefix")->setText(QString());
        mirrored = Find<QLineEdit>(w, "edPrefix")->text();
        Find<QLineEdit>(w, "edFileSuffix")->setText(QStringLiteral("..sync"));
        Find<QPushButton>(w, "btnDirBDate")->click();
        ClickOk(w);
    });
    ASSERT_TRUE(ShowSyncSuffixDialog(false, false, sec));
    EXPECT_FALSE(locationPrefixShown);
    EXPECT_TRUE(dirPrefixShown);
    EXPECT_EQ(QString(), mirrored);
    EXPECT_EQ("_", sec.DirPrefix); // an empty prefix gets the program's default, also in place
    EXPECT_EQ("sync", sec.FileSuffix);
    EXPECT_EQ("%bdate%", sec.DirSuffix);
    EXPECT_EQ(sdNone, sec.DirMode);

    // Moved copies: an empty file suffix stays empty; root with drives separated keeps sdRootDrive.
    sec.DirMode = sdRootDrive;
    bool driveShown = false;
    WhenModal([&](QWidget* w) {
        driveShown =
            Find<QCheckBox>(w, "cbRootDrive")->isVisible() && Find<QCheckBox>(w, "cbRootDrive")->isChecked();
        Find<QLineEdit>(w, "edFileSuffix")->setText(QString());
        ClickOk(w);
    });
    ASSERT_TRUE(ShowSyncSuffixDialog(false, true, sec));
    EXPECT_TRUE(driveShown);
    EXPECT_EQ(sdRootDrive, sec.DirMode);
    EXPECT_EQ("", sec.FileSuffix);
}
