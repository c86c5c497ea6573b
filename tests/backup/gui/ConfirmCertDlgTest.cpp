#include "backup/gui/ConfirmCertDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "foundation/gui/Indicators.h"
#include "foundation/gui/StyleUtils.h"
#include "rtl/DateTime.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

TCerticateInfo SampleCert(TDateTime validUntil)
{
    TCerticateInfo c;
    c.Server = "ftps://files.example:990";
    c.Version = 3;
    c.SerialNumber = 4660;
    c.Issuer = "/C=DE/O=Example/CN=Test";
    c.Fingerprint = "12:34:56:78:9A:BC:DE:F0:12:34:56:78:9A:BC:DE:F0";
    c.ValidUntil = validUntil;
    return c;
}

const TScreenshotShow shot("confirm-cert", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] { ShowConfirmCertDialog(SampleCert(Now() + 365)); });
});

// Runs body on a thread of its own and processes events until it ends.
template <typename F> void OnOtherThread(F body)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        body();
        done = true;
    });
    while (!done)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    t.join();
}

} // namespace

TEST(ConfirmCertDlgTest, ShowsTheCertificateWithTheIssuerOnePartPerLine)
{
    TConfirmCertDialog dlg;
    const TDateTime until = EncodeDateTime(2031, 5, 17, 13, 45, 0, 0);
    dlg.ShowCertificate(SampleCert(until));
    EXPECT_EQ("ftps://files.example:990", Find<QLineEdit>(&dlg, "leServer")->text());
    EXPECT_EQ("3", Find<QLineEdit>(&dlg, "leVersion")->text());
    EXPECT_EQ("4660", Find<QLineEdit>(&dlg, "leSerial")->text());
    EXPECT_EQ("C=DE\nO=Example\nCN=Test", Find<QPlainTextEdit>(&dlg, "meIssuer")->toPlainText());
    EXPECT_EQ(QString::fromStdString(DateTimeToStr(until)), Find<QLineEdit>(&dlg, "leValid")->text());
    EXPECT_EQ("12:34:56:78:9A:BC:DE:F0:12:34:56:78:9A:BC:DE:F0",
              Find<QLineEdit>(&dlg, "leFingerprint")->text());
    EXPECT_EQ("", IssuerLines(""));
}

TEST(ConfirmCertDlgTest, TheLampIsLitForAnExpiredCertificateAndGreenForAValidOne)
{
    TConfirmCertDialog dlg;
    auto* lamp = Find<TSpotIndicator>(&dlg, "siValid");
    ASSERT_NE(nullptr, lamp);
    dlg.ShowCertificate(SampleCert(Now() - 1));
    EXPECT_TRUE(lamp->Indicate());
    dlg.ShowCertificate(SampleCert(Now() + 365));
    EXPECT_FALSE(lamp->Indicate());
    EXPECT_EQ(ColorFromTColor(0x00A400), lamp->CentreColor());
}

TEST(ConfirmCertDlgTest, CopyPutsTheFingerprintOnTheClipboardWithoutLeavingASelection)
{
    TConfirmCertDialog dlg;
    dlg.ShowCertificate(SampleCert(Now()));
    QApplication::clipboard()->clear();
    QTest::mouseClick(Find<QPushButton>(&dlg, "btnCopyFp"), Qt::LeftButton);
    EXPECT_EQ("12:34:56:78:9A:BC:DE:F0:12:34:56:78:9A:BC:DE:F0", QApplication::clipboard()->text());
    EXPECT_FALSE(Find<QLineEdit>(&dlg, "leFingerprint")->hasSelectedText());
}

TEST(ConfirmCertDlgTest, YesTrustsNoRefusesAlsoWhenARunOnAnotherThreadAsks)
{
    const TCerticateInfo cert = SampleCert(Now() + 30);
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton); });
    EXPECT_TRUE(ShowConfirmCertDialog(cert));

    TBackupDialogInteraction interaction;
    IInteraction& run = interaction;
    for (const bool yes : {true, false}) {
        QString server;
        WhenModal([&](QWidget* w) {
            server = Find<QLineEdit>(w, "leServer")->text();
            QTest::mouseClick(Find<QPushButton>(w, yes ? "OKBtn" : "CancelBtn"), Qt::LeftButton);
        });
        bool answer = !yes;
        OnOtherThread([&] { answer = run.ConfirmCertificate(cert); });
        EXPECT_EQ(yes, answer);
        EXPECT_EQ("ftps://files.example:990", server);
    }
}

TEST(ConfirmCertDlgTest, NobodyPresentRefusesAndTheRecorderAnswersAsTold)
{
    const TCerticateInfo cert = SampleCert(Now());
    THeadlessInteraction headless;
    EXPECT_FALSE(headless.ConfirmCertificate(cert));
    TRecordingInteraction recording;
    recording.ConfirmAnswer = true;
    EXPECT_TRUE(recording.ConfirmCertificate(cert));
    ASSERT_EQ(1u, recording.Calls.size());
    EXPECT_EQ("ConfirmCertificate ftps://files.example:990|12:34:56:78:9A:BC:DE:F0:12:34:56:78:9A:BC:DE:F0",
              recording.Calls[0]);
}

class ConfirmCertServerTest : public SandboxTest
{
};

TEST_F(ConfirmCertServerTest, ARunAsksAboutTheCertificateTheServerPresentsAndNoEndsTheConnection)
{
    const TestCertificate& tc = TestCertificate::Get();
    VASTREL_REQUIRE_SERVER(tc.Error);
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "explicit");
    ASSERT_TRUE(server.Started()) << server.Error();
    TBackupDialogInteraction interaction;
    IInteraction& run = interaction;
    for (const bool yes : {false, true}) {
        TExtFtp ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = server.Port();
        ftp.Username = PyFtpServer::User;
        ftp.Password = PyFtpServer::Password;
        ftp.SetSecureTransfer(2);
        ftp.VerifyPeerMode = 1;
        ftp.OnConfirmCert = [&run](const TCerticateInfo& c) { return run.ConfirmCertificate(c); };
        QString fingerprint;
        WhenModal([&](QWidget* w) {
            fingerprint = w ? Find<QLineEdit>(w, "leFingerprint")->text() : QString();
            if (w)
                QTest::mouseClick(Find<QPushButton>(w, yes ? "OKBtn" : "CancelBtn"), Qt::LeftButton);
        });
        bool connected = !yes;
        OnOtherThread([&] { connected = ftp.DoConnect(1, true); });
        EXPECT_EQ(yes, connected);
        EXPECT_EQ(QString::fromStdString(tc.Md5Fingerprint), fingerprint);
        if (!yes) {
            EXPECT_NE(std::string::npos, ftp.IndyError().find("Error verifying server certificate"));
        }
        ftp.Disconnect();
    }
}
