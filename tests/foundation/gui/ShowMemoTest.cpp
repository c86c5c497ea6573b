#include "foundation/gui/ShowMemo.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/WinUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"

namespace {
class ShowMemoTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        ClearMsgDialogLog();
        InitPrinterSettings(Prt);
    }
    void TearDown() override
    {
        delete TextViewer();
        ClearMsgDialogLog();
    }
    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = sandbox.Path(name);
        WriteFileBytes(path, content);
        return path;
    }
    TShowTextDialog* Show(const std::string& file, int line, TShowDlgButtons buttons = 255)
    {
        ShowTextFile("Log", file, "Previous section", "Next section", "Vastrel -", "Previous error",
                     "Next error", "  *** ", "Log files|*.log|all|*.*", IgnoreSavedPos, line, stShow, buttons,
                     Prt, 0);
        return TextViewer();
    }
    QPlainTextEdit* Memo(TShowTextDialog* v) { return Find<QPlainTextEdit>(v, "Memo"); }
    TPrinterSettings Prt;
};

std::string Lines(int n)
{
    std::string s;
    for (int i = 1; i <= n; ++i)
        s += "line " + std::to_string(i) + "\n";
    return s;
}
} // namespace

TEST_F(ShowMemoTest, StartLineAndLineCounter)
{
    const std::string file = Write("a.log", Lines(100));
    TShowTextDialog* v = Show(file, 5);
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(4, Memo(v)->textCursor().blockNumber());
    EXPECT_EQ(" Line: 5 of 101", v->StatusLine());
    v->close();
    v = Show(file, -1);
    EXPECT_EQ(" Line: 101 of 101", v->StatusLine());
}

TEST_F(ShowMemoTest, ZeroBytesAreRemovedAndAMissingFileIsReported)
{
    TShowTextDialog* v = Show(Write("z.log", std::string("ab\0c\nd\0e\n", 9)), 1);
    EXPECT_EQ(QStringLiteral("abc\nde\n"), Memo(v)->toPlainText());
    v->close();
    QueueMsgDialogAnswer(mrCancel);
    Show(sandbox.Path("missing.log"), 1);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("File: \"" + sandbox.Path("missing.log") + "\" not found!", MsgDialogLog()[0].Text);
}

TEST_F(ShowMemoTest, SectionsAndErrorsAreFoundInBothDirections)
{
    const std::string text =
        "Vastrel - run 1\nok\n  *** error A\nVastrel - run 2\n  *** error B\n  *** error C\nend\n";
    TShowTextDialog* v = Show(Write("s.log", text), 1);
    v->Navigate(false, true);
    EXPECT_EQ(0, Memo(v)->textCursor().blockNumber());
    v->Navigate(false, true);
    EXPECT_EQ(3, Memo(v)->textCursor().blockNumber());
    v->Navigate(false, true);
    EXPECT_EQ("No further sections!", v->NavigationMessage());
    EXPECT_TRUE(Memo(v)->textCursor().atEnd());

    v->Navigate(true, false); // previous error from the end
    EXPECT_EQ(5, Memo(v)->textCursor().blockNumber());
    EXPECT_EQ("", v->NavigationMessage());
    QTest::keyClick(Memo(v), Qt::Key_F3); // on upwards
    EXPECT_EQ(4, Memo(v)->textCursor().blockNumber());
    QTest::keyClick(Memo(v), Qt::Key_F3, Qt::ShiftModifier); // the other way
    EXPECT_EQ(5, Memo(v)->textCursor().blockNumber());
}

TEST_F(ShowMemoTest, DelWithASelectionRewritesTheFileEvenWithoutTheDeleteButton)
{
    const std::string file = Write("d.log", "keep\nremove me\nkeep too\n");
    TShowTextDialog* v = Show(file, 1, 207 & ~ShowDlgButton(sbErase));
    EXPECT_FALSE(Find<QPushButton>(v, "DeleteBtn")->isVisible());
    QTextCursor c = Memo(v)->textCursor();
    c.setPosition(Memo(v)->document()->findBlockByNumber(1).position());
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    Memo(v)->setTextCursor(c);
    QueueMsgDialogAnswer(mrYes);
    QTest::keyClick(Memo(v), Qt::Key_Delete);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Delete selected text?", MsgDialogLog()[0].Text);
    EXPECT_EQ("keep\nkeep too\n", ReadFileBytes(file));
}

TEST_F(ShowMemoTest, ChosenCodePageSurvivesLaterCalls)
{
    const std::string file = Write("c.log", "caf\xE9\n");
    TShowTextDialog* v = Show(file, 1);
    EXPECT_EQ(QStringLiteral("caf\u00E9\n"), Memo(v)->toPlainText()); // not UTF-8: Windows-1252
    v->SetCodePage(866);
    EXPECT_EQ(866, v->CodePage());
    EXPECT_EQ(QStringLiteral("caf\u0449\n"), Memo(v)->toPlainText());
    v->close();
    v = Show(file, 1);
    EXPECT_EQ(866, v->CodePage());
    QString text;
    EXPECT_TRUE(DecodeText(std::string("\xFF\xFE"
                                       "a\0b\0",
                                       6),
                           0, text));
    EXPECT_EQ(QStringLiteral("ab"), text);
    EXPECT_FALSE(DecodeText("\xC3", 65001, text));
}

TEST(ShowMemoWrapTest, PrintedLinesBreakAfterDelimitersAndLongWordsByCharacters)
{
    const auto width = [](const QString& s) {
        return static_cast<int>(s.size()) * 10;
    }; // 10 units a character
    const QString path = QStringLiteral("C:\\Program Files\\Vastrel\\Logs\\") +
                         QString(40, QLatin1Char('x')) + QStringLiteral("\\backup.log");
    const std::vector<QString> pieces = WrapPrintLine(path, 200, width);
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_EQ(QStringLiteral("C:\\Program Files\\"), pieces[0]);
    for (size_t i = 1; i < pieces.size(); ++i)
        EXPECT_TRUE(pieces[i].startsWith(QStringLiteral("* "))) << pieces[i].toStdString();
    QString joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_LT(width(pieces[i]), 200 + 1);
        joined += i == 0 ? pieces[i] : pieces[i].mid(2);
    }
    EXPECT_EQ(path, joined);
    const std::vector<QString> word = WrapPrintLine(QString(50, QLatin1Char('w')), 200, width);
    EXPECT_EQ(QString(19, QLatin1Char('w')), word[0]);
    EXPECT_EQ(std::vector<QString>{QStringLiteral("short")},
              WrapPrintLine(QStringLiteral("short"), 200, width));
}

TEST(ShowMemoPrinterTest, PrinterSettingsRoundTripWithDefaults)
{
    Sandbox sandbox;
    const std::string ini = sandbox.Path("Vastrel.ini");
    TPrinterSettings s;
    InitPrinterSettings(s);
    EXPECT_EQ(200, s.Margins.Left);
    EXPECT_EQ("Courier New", s.FontName);
    LoadPrinterSettings(ini, "Printer", s); // no file: the defaults
    EXPECT_EQ(150, s.Margins.Top);
    s.Margins.Right = 123;
    s.FontStyle = 3;
    s.Orientation = 1;
    SavePrinterSettings(ini, "Printer", s);
    TPrinterSettings t;
    LoadPrinterSettings(ini, "Printer", t);
    EXPECT_EQ(123, t.Margins.Right);
    EXPECT_EQ(3, t.FontStyle);
    EXPECT_EQ(1, t.Orientation);
    TMemIniFile file(ini);
    file.WriteInteger("Printer", "Orientation", 7);
    file.UpdateFile();
    LoadPrinterSettings(ini, "Printer", t);
    EXPECT_EQ(0, t.Orientation);
    TPrinterSettings u = t;
    LoadPrinterSettings(ini, "", u); // no section: unchanged
    EXPECT_EQ(123, u.Margins.Right);
}
