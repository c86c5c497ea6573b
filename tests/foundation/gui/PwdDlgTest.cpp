#include "foundation/gui/PwdDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/LogonDlg.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"

namespace {
void ClickOk(QWidget* w)
{
    QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}
} // namespace

TEST(PwdDlgTest, DepthChoiceReturnsTheKeyModeOnlyWithEnc)
{
    struct Case
    {
        bool Enc;
        const char* Radio;
        int Want;
    };
    const Case cases[] = {
        {true, "rbEnc256", 3}, {true, "rbEncAuto", 0}, {true, "rbEnc128", 1}, {false, "rbEnc256", 7}};
    for (const Case& c : cases) {
        std::string pwd;
        int mode = 7;
        bool groupShown = false;
        WhenModal([&](QWidget* w) {
            groupShown = Find<QGroupBox>(w, "gbEncrypt")->isVisible();
            Find<QRadioButton>(w, c.Radio)->setChecked(true);
            QTest::keyClicks(Find<QLineEdit>(w, "edtPwd"), QStringLiteral("secret"));
            ClickOk(w);
        });
        EXPECT_EQ(mrOk, AskPassword(DefaultFormPos, "Password", "Enter it", false, c.Enc, pwd, mode));
        EXPECT_EQ(c.Enc, groupShown);
        EXPECT_EQ("secret", pwd);
        EXPECT_EQ(c.Want, mode) << c.Radio;
    }
}

TEST(PwdDlgTest, SkipPasteAndCancel)
{
    std::string pwd = "old";
    WhenModal([&](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "btnSkip"), Qt::LeftButton); });
    EXPECT_EQ(mrYes, AskPasswordCentered("Password", "For the archive", true, pwd));
    EXPECT_EQ("old", pwd);
    WhenModal([&](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(mrCancel, AskPasswordCentered("Password", "For the archive", false, pwd));
    EXPECT_EQ("old", pwd);
    QApplication::clipboard()->setText(QStringLiteral("from-clipboard"));
    WhenModal([&](QWidget* w) {
        Find<QLineEdit>(w, "edtPwd")->setText(QStringLiteral("typed"));
        QTest::mouseClick(Find<QPushButton>(w, "bbPaste"), Qt::LeftButton);
        ClickOk(w);
    });
    EXPECT_TRUE(AskPasswordOk(DefaultFormPos, "Password", "Paste it", pwd));
    EXPECT_EQ("from-clipboard", pwd);
}

TEST(NewPwdDlgTest, ConfirmationRefusesShortAndDifferentPasswordsInPlace)
{
    ClearMsgDialogLog();
    std::string pwd;
    WhenModal([&](QWidget* w) {
        auto* first = Find<QLineEdit>(w, "edtPwd");
        auto* second = Find<QLineEdit>(w, "edtRepPwd");
        first->setText(QStringLiteral("abcde"));
        second->setText(QStringLiteral("other"));
        QueueMsgDialogAnswer(mrCancel);
        ClickOk(w);
        const bool firstFocused = w->focusWidget() == first;
        first->setText(QStringLiteral("abcdefgh"));
        second->setText(QStringLiteral("abcdefgX"));
        QueueMsgDialogAnswer(mrCancel);
        ClickOk(w);
        const bool secondFocused = w->focusWidget() == second;
        EXPECT_TRUE(firstFocused);
        EXPECT_TRUE(secondFocused);
        EXPECT_TRUE(w->isVisible());
        second->setText(QStringLiteral("abcdefgh"));
        ClickOk(w);
    });
    EXPECT_TRUE(AskNewPassword("New password", pwd, true, false, 8));
    EXPECT_EQ("abcdefgh", pwd);
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("Minimum length of password is 8 characters", MsgDialogLog()[0].Text);
    EXPECT_EQ("Passwords do not match!", MsgDialogLog()[1].Text);
    ClearMsgDialogLog();

    // Both fields empty: accepted with an empty password.
    pwd = "x";
    WhenModal([&](QWidget* w) { ClickOk(w); });
    EXPECT_TRUE(AskNewPassword("New password", pwd, true, false, 8));
    EXPECT_EQ("", pwd);
    EXPECT_TRUE(MsgDialogLog().empty());
}

TEST(NewPwdDlgTest, SpecifyPasswordSkipsTheLengthTestWhileTheMeterShowsZero)
{
    TNewPwdDialog dlg;
    std::string pwd;
    int meterEmpty = 99, meterShort = 99;
    WhenModal([&](QWidget* w) {
        meterEmpty = dlg.MeterPercent();
        QTest::keyClicks(Find<QLineEdit>(w, "edtPwd"), QStringLiteral("abc"));
        meterShort = dlg.MeterPercent();
        ClickOk(w);
    });
    EXPECT_TRUE(dlg.Execute(DefaultFormPos, "Password", pwd, false, false, 8));
    EXPECT_EQ("abc", pwd);
    EXPECT_EQ(-1, meterEmpty);
    EXPECT_EQ(0, meterShort);
}

class LogonDlgTest : public SandboxTest
{
};

TEST_F(LogonDlgTest, EscAnswersSkipOnlyWhenSkipIsShownAndNamesAreRemembered)
{
    const std::string ini = sandbox.Path("users.ini");
    {
        TLogonDialog dlg;
        dlg.LoadFromIni(ini, "Users");
        std::string user = "alice", pwd;
        bool pwdFocused = false;
        WhenModal([&](QWidget* w) {
            pwdFocused = w->focusWidget() == Find<QLineEdit>(w, "PwdEdit");
            Find<QLineEdit>(w, "PwdEdit")->setText(QStringLiteral("pw"));
            ClickOk(w);
        });
        EXPECT_EQ(mrOk, dlg.Execute("Run as", "Account for the update", false, user, pwd));
        EXPECT_TRUE(pwdFocused);
        EXPECT_EQ("pw", pwd);

        bool stillOpen = false;
        WhenModal([&](QWidget* w) {
            QTest::keyClick(w, Qt::Key_Escape);
            stillOpen = w->isVisible();
            QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
        });
        EXPECT_EQ(mrCancel, dlg.Execute("Run as", "", false, user, pwd));
        EXPECT_TRUE(stillOpen);
        WhenModal([&](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        EXPECT_EQ(mrIgnore, dlg.Execute("Run as", "", true, user, pwd));
    }
    TMemIniFile file(ini);
    EXPECT_EQ("alice", file.ReadString("Users", "History0", ""));
}
