#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "backup/gui/ConfirmDelDirDlg.h"
#include "backup/gui/ConfirmDeleteDlg.h"
#include "backup/gui/TimeCompareDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

const char* const ModeButtons[4] = {"rbNewer", "rbDiffer", "rbDiffSize", "rbSizeOnly"};

void ClickOk(QWidget* w)
{
    QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}

const TScreenshotShow timeCompareShot("timecompare", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        int mode = 1, diff = 2;
        bool dst = true;
        ShowTimeCompareDialogFull(DefaultFormPos, false, true, false, mode, diff, dst);
    });
});
const TScreenshotShow confirmDelDirShot("confirmdeldir", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        ShowConfirmDelDirDialog(DefaultFormPos, "/home/user/Documents/Projects/2026/Reports",
                                "/media/backup/Vastrel/home/user/Documents/Projects/2026/Reports");
    });
});
const TScreenshotShow confirmDeleteShot("confirmdelete", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        int dirs = 1;
        ShowConfirmDeleteDialog("Delete source files after the backup?", dirs);
    });
});

struct ModeCase
{
    bool IsBackup;
    bool NoSzComp;
    int ModeIn;
    const char* Choose; // button clicked before OK (nullptr: none)
    bool GroupShown;
    bool SizesShown;
    int ChosenShown; // the button checked on entry
    int ModeOut;
};

TEST(TimeCompareDlgTest, ShowsAndReturnsTheCompareMode)
{
    const ModeCase cases[] = {
        {true, false, 7, nullptr, true, true, 0, 0},      // an unknown mode shows and returns 0
        {true, false, 1, "rbDiffSize", true, true, 1, 2}, // a choice is returned
        {true, true, 0, "rbDiffer", true, false, 0, 1},   // no size choices for FTP with compression
        {true, true, 3, nullptr, true, false, 3, 3},      // a hidden size mode is kept
        {false, false, 2, nullptr, false, false, -1, 0},  // the short form has no mode
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.ModeIn);
        bool groupShown = false, sizesShown = false;
        int checked = -1;
        WhenModal([&](QWidget* w) {
            groupShown = Find<QGroupBox>(w, "gbMode")->isVisible();
            sizesShown = Find<QRadioButton>(w, "rbDiffSize")->isVisible() &&
                         Find<QRadioButton>(w, "rbSizeOnly")->isVisible();
            for (int i = 0; i < 4; ++i)
                if (groupShown && Find<QRadioButton>(w, ModeButtons[i])->isChecked())
                    checked = i;
            if (c.Choose)
                Find<QRadioButton>(w, c.Choose)->click();
            ClickOk(w);
        });
        int mode = c.ModeIn, diff = 2;
        bool dst = false;
        EXPECT_TRUE(ShowTimeCompareDialogFull(DefaultFormPos, true, c.IsBackup, c.NoSzComp, mode, diff, dst));
        EXPECT_EQ(c.GroupShown, groupShown);
        EXPECT_EQ(c.SizesShown, sizesShown);
        EXPECT_EQ(c.ChosenShown, checked);
        EXPECT_EQ(c.ModeOut, mode);
    }
}

TEST(TimeCompareDlgTest, ToleranceAndOneHourOptionComeBackOnOkOnly)
{
    WhenModal([](QWidget* w) {
        Find<TRangeEdit>(w, "reTimeDiff")->SetValue(3600);
        Find<QCheckBox>(w, "cbDstIgnore")->setChecked(true);
        ClickOk(w);
    });
    int diff = 2;
    bool dst = false;
    EXPECT_TRUE(ShowTimeCompareDialog(DefaultFormPos, diff, dst));
    EXPECT_EQ(3600, diff);
    EXPECT_TRUE(dst);

    // Cancel changes nothing but the mode of the short form, which is 0 at once.
    WhenModal([](QWidget* w) {
        Find<TRangeEdit>(w, "reTimeDiff")->SetValue(9);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    int mode = 2;
    TTimeCompareDialog dlg;
    EXPECT_FALSE(dlg.Execute(DefaultFormPos, false, false, false, mode, diff, dst));
    EXPECT_EQ(0, mode);
    EXPECT_EQ(3600, diff);
}

TEST(TimeCompareDlgTest, ToleranceOutsideItsRangeIsRefusedInPlace)
{
    ClearMsgDialogLog();
    for (const char* text : {"0", "7201"}) {
        bool stillOpen = false;
        WhenModal([&](QWidget* w) {
            auto* edit = Find<TRangeEdit>(w, "reTimeDiff");
            edit->setText(QString::fromLatin1(text));
            QueueMsgDialogAnswer(mrOk);
            QTest::keyClick(edit, Qt::Key_Return);
            stillOpen = w->isVisible();
            edit->setText(QStringLiteral("30"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        int diff = 2;
        bool dst = false;
        EXPECT_TRUE(ShowTimeCompareDialog(DefaultFormPos, diff, dst));
        EXPECT_TRUE(stillOpen) << text;
        EXPECT_EQ(30, diff);
    }
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("Range check error (1 .. 7200)", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
}

TEST(ConfirmDelDirDlgTest, YesAnswersByWhatWasDoneWithTheDeleteBox)
{
    struct Case
    {
        int Clicks; // clicks on the check box before the answer
        bool Yes;
        TModalResult Result;
    };
    const Case cases[] = {{0, true, mrOk}, {1, true, mrYes}, {2, true, mrNo}, {1, false, mrCancel}};
    for (const Case& c : cases) {
        QString shown;
        bool startsOff = false;
        WhenModal([&](QWidget* w) {
            shown = Find<QLabel>(w, "laSDir")->text();
            auto* box = Find<QCheckBox>(w, "cbDelete");
            startsOff = !box->isChecked();
            for (int i = 0; i < c.Clicks; ++i)
                box->click();
            QTest::mouseClick(Find<QPushButton>(w, c.Yes ? "btYes" : "btNo"), Qt::LeftButton);
        });
        EXPECT_EQ(c.Result, ShowConfirmDelDirDialog(DefaultFormPos, "/data/src", "/backup/data/src"));
        EXPECT_TRUE(startsOff);
        EXPECT_EQ(QStringLiteral("/data/src"), shown);
    }
    WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(mrCancel, ShowConfirmDelDirDialog(DefaultFormPos, "/a", "/b"));
}

TEST(ConfirmDelDirDlgTest, LongPathsAreShortenedToTheirLabels)
{
    const std::string longPath = "/home/user/" + std::string(300, 'x') + "/end";
    QString shown;
    int labelWidth = 0, textWidth = 0;
    WhenModal([&](QWidget* w) {
        auto* label = Find<QLabel>(w, "laSDir");
        shown = label->text();
        labelWidth = label->width();
        textWidth = label->fontMetrics().horizontalAdvance(shown);
        QTest::mouseClick(Find<QPushButton>(w, "btNo"), Qt::LeftButton);
    });
    ShowConfirmDelDirDialog(DefaultFormPos, longPath, "/b");
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/end"))) << shown.toStdString();
    EXPECT_LE(textWidth, labelWidth);
}

TEST(ConfirmDeleteDlgTest, BoxesFollowBitsZeroAndOne)
{
    bool sub = true, root = false;
    QString caption;
    WhenModal([&](QWidget* w) {
        caption = w->windowTitle();
        sub = Find<QCheckBox>(w, "cbSubDirs")->isChecked();
        root = Find<QCheckBox>(w, "cbRootDirs")->isChecked();
        QTest::mouseClick(Find<QPushButton>(w, "btYes"), Qt::LeftButton);
    });
    int dirs = 6;
    EXPECT_TRUE(ShowConfirmDeleteDialog("Delete source files?", dirs));
    EXPECT_FALSE(sub);
    EXPECT_TRUE(root);
    EXPECT_EQ(2, dirs);
    EXPECT_EQ(QStringLiteral("Delete source files?"), caption);

    WhenModal([](QWidget* w) {
        Find<QCheckBox>(w, "cbSubDirs")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(w, "btNo"), Qt::LeftButton);
    });
    dirs = 6;
    EXPECT_FALSE(ShowConfirmDeleteDialog("Delete?", dirs));
    EXPECT_EQ(6, dirs);
}

} // namespace
