#include "foundation/gui/FilterDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"

namespace {
void ClickOk(QWidget* w)
{
    QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}

class FilterDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override
    {
        ClearMsgDialogLog();
        SetFilterDialogIni("", "");
    }
};
} // namespace

TEST_F(FilterDlgTest, AndFilterOpensWithItsModeAndCombination)
{
    TTextFilter filter;
    filter.SetMode(fmInclude);
    filter.SetFilter("+*.doc|report*");
    bool inc = false, andOp = false;
    QString text;
    WhenModal([&](QWidget* w) {
        inc = Find<QRadioButton>(w, "IncMaskBtn")->isChecked();
        andOp = Find<QRadioButton>(w, "rbAnd")->isChecked();
        text = Find<QComboBox>(w, "cbFilter")->currentText();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(EditTextFilter("Filter", "Files", true, true, filter));
    EXPECT_TRUE(inc);
    EXPECT_TRUE(andOp);
    EXPECT_EQ(QStringLiteral("+*.doc|report*"), text);
}

TEST_F(FilterDlgTest, RegularExpressionsSwapTheMatchAllTextAndHideTheCombination)
{
    TTextFilter filter;
    filter.SetMode(fmInclude);
    QString text;
    bool editEnabled = true, evalVisible = true;
    WhenModal([&](QWidget* w) {
        Find<QComboBox>(w, "cbFilter")->setEditText(QStringLiteral("*"));
        Find<QCheckBox>(w, "RegExpCB")->click();
        text = Find<QComboBox>(w, "cbFilter")->currentText();
        editEnabled = Find<QPushButton>(w, "btnEditMask")->isEnabled();
        evalVisible = Find<QGroupBox>(w, "rgEval")->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EditTextFilter("Filter", "Files", true, true, filter);
    EXPECT_EQ(QStringLiteral("."), text);
    EXPECT_FALSE(editEnabled);
    EXPECT_FALSE(evalVisible);
}

TEST_F(FilterDlgTest, AllKeepsTheTextAndAnEmptyBoxStoresMatchAll)
{
    TTextFilter filter;
    filter.SetMode(fmExclude);
    filter.SetFilter("*.tmp");
    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "NoMaskBtn")->click();
        ClickOk(w);
    });
    EXPECT_TRUE(EditTextFilter("Filter", "Files", true, true, filter));
    EXPECT_EQ(fmOff, filter.Mode());
    EXPECT_EQ("*.tmp", filter.GetFilter());

    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "IncMaskBtn")->click();
        Find<QComboBox>(w, "cbFilter")->setEditText(QString());
        ClickOk(w);
    });
    EXPECT_TRUE(EditTextFilter("Filter", "Files", true, true, filter));
    EXPECT_EQ(fmInclude, filter.Mode());
    EXPECT_EQ("*", filter.GetFilter());
}

TEST_F(FilterDlgTest, IllegalRegularExpressionIsRefusedAndTheFilterStaysAsItWas)
{
    TTextFilter filter;
    filter.SetMode(fmInclude);
    filter.SetFilter("*.txt");
    bool stillOpen = false;
    WhenModal([&](QWidget* w) {
        Find<QCheckBox>(w, "RegExpCB")->setChecked(true);
        Find<QComboBox>(w, "cbFilter")->setEditText(QStringLiteral("(abc"));
        QueueMsgDialogAnswer(mrCancel);
        ClickOk(w);
        stillOpen = w->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(EditTextFilter("Filter", "Files", true, true, filter));
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Invalid filter mask!\r\nShould resemble \\D or A+[bc].", MsgDialogLog()[0].Text);
    EXPECT_FALSE(filter.Regular());
    EXPECT_EQ("*.txt", filter.GetFilter());
}

TEST_F(FilterDlgTest, EditExpressionsWritesTheMasksBackInLowerCaseAndTheHistoryIsSaved)
{
    const std::string ini = sandbox.Path("settings.ini");
    SetFilterDialogIni(ini, "FileFilter");
    TTextFilter filter;
    filter.SetMode(fmInclude);
    filter.SetFilter("+*.DOC|REPORT*");
    int entries = 0;
    WhenModal([&](QWidget* w) {
        WhenModalOtherThan(w, [&, w](QWidget* list) {
            entries = Find<QListWidget>(list, "lbxStringList")->count();
            ClickOk(list);
            QTimer::singleShot(0, w, [w] { ClickOk(w); });
        });
        QTest::mouseClick(Find<QPushButton>(w, "btnEditMask"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditTextFilter("Filter", "Files", true, true, filter));
    EXPECT_EQ(2, entries);
    EXPECT_EQ("+*.doc|report*", filter.GetFilter());
    TMemIniFile file(ini);
    EXPECT_EQ("+*.doc|report*", file.ReadString("FileFilter", "History0", ""));
    // The same text but for case is one entry.
    EXPECT_EQ("", file.ReadString("FileFilter", "History1", ""));
}
