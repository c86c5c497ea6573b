#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "backup/gui/PreviewDlg.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

TStringList SampleList()
{
    TStringList list;
    list.AddObject("*./", 2);
    list.Add(" report.docx|2026-05-01 10:00:00|12.5 KiB");
    list.Add(" notes.txt|2026-05-02 11:30:00|1 KiB");
    list.AddObject("*./empty/", 0);
    list.AddObject("*./photos/", 1);
    list.Add(" holiday.jpg|2025-08-14 09:12:00|3.2 MiB");
    list.Add("#./cache/");
    return list;
}

const TScreenshotShow previewShot("preview", [](const TScreenshotSaver& save) {
    const TStringList list = SampleList();
    ScreenshotModal(save, [&] {
        TShowFilePreview dlg;
        dlg.Execute("Preview of backup selection", "/home/user/Documents", "3 files totaling 3.2 MiB", 0,
                    list);
    });
});

QTableView* Rows(QWidget* w)
{
    return Find<QTableView>(w, "lvwFiles");
}

QString Cell(QWidget* w, int row, int column)
{
    auto* view = Rows(w);
    return view->model()->index(row, column).data().toString();
}

class PreviewDlgTest : public SandboxTest
{
};

TEST_F(PreviewDlgTest, FolderFilterChoosesTheRowsShown)
{
    const TStringList list = SampleList();
    int selected = -1, all = -1, notEmpty = -1;
    QString folderCount, excludedText, fileTime, fileSize, header;
    WhenModal([&](QWidget* w) {
        auto* view = Rows(w);
        selected = view->model()->rowCount();
        folderCount = Cell(w, 0, 1);
        fileTime = Cell(w, 1, 1);
        fileSize = Cell(w, 1, 2);
        header = view->model()->headerData(1, Qt::Horizontal).toString();
        Find<QRadioButton>(w, "rgDirs0")->click();
        all = view->model()->rowCount();
        excludedText = Cell(w, 6, 1);
        Find<QRadioButton>(w, "rgDirs2")->click();
        notEmpty = view->model()->rowCount();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    TShowFilePreview dlg;
    dlg.Execute("Preview", "/home/user", "", 0, list);
    EXPECT_EQ(6, selected); // "Only selected": everything but the "#" line
    EXPECT_EQ(7, all);
    EXPECT_EQ(5, notEmpty); // the empty folder is hidden, every file stays
    EXPECT_EQ(QStringLiteral("2 files"), folderCount);
    EXPECT_EQ(QStringLiteral("2026-05-01 10:00:00"), fileTime);
    EXPECT_EQ(QStringLiteral("12.5 KiB"), fileSize);
    EXPECT_EQ(QStringLiteral("excluded"), excludedText);
    EXPECT_EQ(QStringLiteral("Modified"), header);
}

TEST_F(PreviewDlgTest, OptionsSetTheStartFilterTheColumnAndTheExcludedText)
{
    const TStringList list = SampleList();
    bool groupShown = true;
    int rows = -1;
    QString header, excludedText;
    WhenModal([&](QWidget* w) {
        groupShown = Find<QGroupBox>(w, "rgDirs")->isVisible();
        rows = Rows(w)->model()->rowCount();
        header = Rows(w)->model()->headerData(1, Qt::Horizontal).toString();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    TShowFilePreview dlg;
    dlg.Execute("Preview", "/", "", PreviewOption(poNoDirSel) | PreviewOption(poShowCrTm), list);
    EXPECT_FALSE(groupShown);
    EXPECT_EQ(5, rows);
    EXPECT_EQ(QStringLiteral("Created"), header);

    WhenModal([&](QWidget* w) {
        Find<QRadioButton>(w, "rgDirs0")->click();
        excludedText = Cell(w, 6, 1);
        rows = Rows(w)->model()->rowCount();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    TShowFilePreview dlg2;
    dlg2.Execute("Preview", "/", "", PreviewOption(poExclude), list);
    EXPECT_EQ(QStringLiteral("not excluded"), excludedText);
}

TEST_F(PreviewDlgTest, FindMatchesWholeLinesAndReportsTheEnd)
{
    const TStringList list = SampleList();
    ClearMsgDialogLog();
    std::vector<int> found;
    WhenModal([&](QWidget* w) {
        auto* view = Rows(w);
        auto* search = Find<QLineEdit>(w, "edSearch");
        auto* next = Find<QPushButton>(w, "btFindNext");
        auto current = [&] { return view->currentIndex().row(); };
        search->setText(QStringLiteral("2026-05")); // the time field of two files
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        found.push_back(current());
        QTest::mouseClick(next, Qt::LeftButton);
        found.push_back(current());
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(next, Qt::LeftButton);      // no more
        search->setText(QStringLiteral("?otes.txt")); // used unchanged: matches no whole line
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        search->setText(QStringLiteral(" ?otes.txt*"));
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        found.push_back(current());
        search->setText(QStringLiteral("[a"));
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    TShowFilePreview dlg;
    dlg.Execute("Preview", "/", "", 0, list);
    EXPECT_EQ((std::vector<int>{1, 2, 2}), found);
    ASSERT_EQ(3u, MsgDialogLog().size());
    EXPECT_EQ("No more matches found!", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtInformation, MsgDialogLog()[0].DlgType);
    EXPECT_EQ("No more matches found!", MsgDialogLog()[1].Text);
    EXPECT_EQ("Illegal mask!", MsgDialogLog()[2].Text);
}

TEST_F(PreviewDlgTest, EmptyListShowsNoRowsAndFindFindsNothing)
{
    TStringList empty;
    ClearMsgDialogLog();
    int rows = -1;
    WhenModal([&](QWidget* w) {
        rows = Rows(w)->model()->rowCount();
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    TShowFilePreview dlg;
    // A click on the filter before the window shows builds no rows.
    Find<QRadioButton>(&dlg, "rgDirs0")->click();
    EXPECT_EQ(0, dlg.FileCount());
    dlg.Execute("Preview", "/", "", 0, empty);
    EXPECT_EQ(0, rows);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("No more matches found!", MsgDialogLog()[0].Text);
}

TEST_F(PreviewDlgTest, PositionAndSizeAreKeptInTheSettingsFile)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        auto file = TUnicodeIniFile::CreateForWrite(ini, false);
        file.WriteInteger("Preview", "Width", 900);
        file.WriteInteger("Preview", "Height", 500);
        file.UpdateFile();
    }
    TStringList list = SampleList();
    QSize shown;
    WhenModal([&](QWidget* w) {
        shown = w->size();
        w->resize(920, 520);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    {
        TShowFilePreview dlg;
        dlg.Init(ini);
        dlg.Init(sandbox.Path("other.ini")); // only the first settings file counts
        dlg.Execute("Preview", "/", "", 0, list);
    }
    EXPECT_EQ(QSize(900, 500), shown);
    const auto file = TUnicodeIniFile::CreateForRead(ini);
    EXPECT_EQ(920, file.ReadInteger("Preview", "Width", 0));
    EXPECT_EQ(520, file.ReadInteger("Preview", "Height", 0));
    EXPECT_TRUE(file.ValueExists("Preview", "Top"));

    // Without a settings file nothing is written.
    {
        TShowFilePreview dlg;
        dlg.Init("");
    }
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("other.ini")));
}

} // namespace
