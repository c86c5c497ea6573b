#include "backup/gui/DialogInteraction.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "support/gui/GuiTestUtil.h"

TEST(DialogInteractionTest, RunQuestionsGoToTheMessageBoxAndThePasswordDialog)
{
    ClearMsgDialogLog();
    TDialogInteraction interaction;
    IInteraction& run = interaction;
    QueueMsgDialogAnswer(mrCancel);
    run.ErrorBox("Task file not found", 5);
    QueueMsgDialogAnswer(mrYes);
    EXPECT_TRUE(run.Confirm("Overwrite?"));
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
    EXPECT_EQ(5, MsgDialogLog()[0].Delay);
    EXPECT_EQ(mdtConfirm, MsgDialogLog()[1].DlgType);
    ClearMsgDialogLog();

    std::string pwd = "unchanged";
    WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(run.AskPassword("Encrypted backup", "Password:", pwd));
    EXPECT_EQ("unchanged", pwd);
    WhenModal([](QWidget* w) {
        Find<QLineEdit>(w, "edtPwd")->setText(QStringLiteral("s3cret"));
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(run.AskPassword("Encrypted backup", "Password:", pwd));
    EXPECT_EQ("s3cret", pwd);
}
