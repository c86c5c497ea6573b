#include "backup/gui/FtpProxyDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/ShowMessageDlg.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

class FtpProxyDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
};

TFtpProxyParams SampleProxy()
{
    TFtpProxyParams p;
    p.Server = "gate.example";
    p.Port = 2121;
    p.Username = "fw-user";
    p.Password = "fw-pass";
    p.Mode = fpcmTransparent;
    return p;
}

const TScreenshotShow shot("ftp-proxy", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TFtpProxyParams p = SampleProxy();
        ShowFtpProxyDialog(p, true);
    });
});

} // namespace

TEST_F(FtpProxyDlgTest, ShowsTheProxyAndOkStoresTheChosenMethodAsModeItemPlusOne)
{
    TFtpProxyParams p = SampleProxy();
    bool transparent = false, showPwdVisible = true;
    QString server, port, user, pwd;
    QLineEdit::EchoMode echo = QLineEdit::Password;
    WhenModal([&](QWidget* w) {
        transparent = Find<QRadioButton>(w, "rbMethod4")->isChecked();
        showPwdVisible = Find<QCheckBox>(w, "cbShowPwd")->isVisible();
        server = Find<QLineEdit>(w, "edProxy")->text();
        port = Find<QLineEdit>(w, "edtPort")->text();
        user = Find<QLineEdit>(w, "edUser")->text();
        pwd = Find<QLineEdit>(w, "edProxyPwd")->text();
        echo = Find<QLineEdit>(w, "edProxyPwd")->echoMode();
        Find<QRadioButton>(w, "rbMethod0")->setChecked(true);
        Find<QLineEdit>(w, "edProxy")->setText("other.gate");
        Find<QLineEdit>(w, "edtPort")->setText(" 8021 ");
        Find<QLineEdit>(w, "edProxyPwd")->setText("new-pass");
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    ASSERT_TRUE(ShowFtpProxyDialog(p, false));
    EXPECT_TRUE(transparent);
    EXPECT_FALSE(showPwdVisible);
    EXPECT_EQ("gate.example", server);
    EXPECT_EQ("2121", port);
    EXPECT_EQ("fw-user", user);
    EXPECT_EQ("fw-pass", pwd);
    EXPECT_EQ(QLineEdit::Normal, echo);
    EXPECT_EQ(fpcmUserSite, p.Mode);
    EXPECT_EQ("other.gate", p.Server);
    EXPECT_EQ(8021, p.Port);
    EXPECT_EQ("fw-user", p.Username);
    EXPECT_EQ("new-pass", p.Password);
    EXPECT_TRUE(MsgDialogLog().empty());
}

TEST_F(FtpProxyDlgTest, WithoutAModeTheFirstMethodIsChosenAndCancelKeepsEverything)
{
    TFtpProxyParams p;
    bool first = false;
    WhenModal([&](QWidget* w) {
        first = Find<QRadioButton>(w, "rbMethod0")->isChecked();
        Find<QLineEdit>(w, "edProxy")->setText("changed");
        QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    EXPECT_FALSE(ShowFtpProxyDialog(p, false));
    EXPECT_TRUE(first);
    EXPECT_EQ("", p.Server);
    EXPECT_EQ(fpcmNone, p.Mode);
}

TEST_F(FtpProxyDlgTest, InvalidPortsAreRefusedWithTheTextEnteredAndTheDialogStaysOpen)
{
    TFtpProxyParams p = SampleProxy();
    std::vector<bool> stillOpen;
    WhenModal([&](QWidget* w) {
        auto* port = Find<QLineEdit>(w, "edtPort");
        for (const char* text : {"70000", "abc", "-1", ""}) {
            port->setText(text);
            QueueMsgDialogAnswer(mrOk);
            QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
            stillOpen.push_back(w->isVisible());
        }
        port->setText("65535");
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    ASSERT_TRUE(ShowFtpProxyDialog(p, false));
    EXPECT_EQ(std::vector<bool>({true, true, true, true}), stillOpen);
    ASSERT_EQ(4u, MsgDialogLog().size());
    EXPECT_EQ("Invalid port number (70000)", MsgDialogLog()[0].Text);
    EXPECT_EQ("Invalid port number (abc)", MsgDialogLog()[1].Text);
    EXPECT_EQ("Invalid port number (-1)", MsgDialogLog()[2].Text);
    EXPECT_EQ("Invalid port number ()", MsgDialogLog()[3].Text);
    EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
    EXPECT_EQ(65535, p.Port);
}

TEST_F(FtpProxyDlgTest, ShowPasswordMasksAndUnmasksTheField)
{
    TFtpProxyParams p = SampleProxy();
    std::vector<QLineEdit::EchoMode> modes;
    bool visible = false;
    WhenModal([&](QWidget* w) {
        auto* box = Find<QCheckBox>(w, "cbShowPwd");
        auto* pwd = Find<QLineEdit>(w, "edProxyPwd");
        visible = box->isVisible();
        modes.push_back(pwd->echoMode());
        box->click();
        modes.push_back(pwd->echoMode());
        box->click();
        modes.push_back(pwd->echoMode());
        QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    EXPECT_FALSE(ShowFtpProxyDialog(p, true));
    EXPECT_TRUE(visible);
    EXPECT_EQ(std::vector<QLineEdit::EchoMode>({QLineEdit::Normal, QLineEdit::Password, QLineEdit::Normal}),
              modes);
}
