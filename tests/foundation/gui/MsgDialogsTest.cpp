#include "foundation/gui/MsgDialogs.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/gui/Show.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(MsgDialogsTest, TimedDialogReturnsTheButtonOrOkWhenTheTimeRunsOut)
{
    WhenModal([](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        EXPECT_EQ(box->button(QMessageBox::Yes), box->defaultButton());
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(mrNo,
              TimedMessageDlg("Question", "Go on?", mtConfirmation, MsgDlgButton(mbYes) | MsgDlgButton(mbNo),
                              DefaultFormPos, 0, dmActiveForm));
    // Nobody answers within one second.
    EXPECT_EQ(mrOk, TimedMessageDlg("Note", "Closes by itself", mtInformation, MsgDlgButton(mbOK),
                                    DefaultFormPos, 1, dmActiveForm));
}

TEST(MsgDialogsTest, TextWindowShowsTheTextWithAnOkButton)
{
    QString text;
    bool button = false;
    WhenModal([&](QWidget* w) {
        text = Find<QPlainTextEdit>(w, "memShow")->toPlainText();
        button = Find<QWidget>(w, "panButtons")->isVisible();
        QTest::mouseClick(Find<QPushButton>(w, "btnOK"), Qt::LeftButton);
    });
    ShowTextBox("Output", "line 1\nline 2", 0);
    EXPECT_EQ(QStringLiteral("line 1\nline 2"), text);
    EXPECT_TRUE(button);
}

TEST(MsgDialogsTest, TextWindowShowsNothingForAnEmptyTextAndClosesByItselfWithADelay)
{
    TfrmShow form;
    form.Execute("Output", "", 0); // returns at once: nothing to show
    EXPECT_FALSE(form.isVisible());
    bool buttons = true;
    QTimer::singleShot(100, [&] { buttons = Find<QWidget>(&form, "panButtons")->isVisible(); });
    form.Execute("Output", "console text", 1);
    EXPECT_FALSE(buttons);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(QStringLiteral("console text"), Find<QPlainTextEdit>(&form, "memShow")->toPlainText());
}
