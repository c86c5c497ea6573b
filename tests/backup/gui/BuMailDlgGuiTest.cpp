#include "backup/gui/BuMailDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/mMailer10.h"
#include "backup/gui/AccountDlg.h"
#include "backup/gui/MailTestDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/SmtpTestServer.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

using ::testing::HasSubstr;

namespace {
void ClickOk(QWidget* w)
{
    Find<QPushButton>(w, "OKBtn")->click();
}

TMailData Sample()
{
    TMailData d;
    InitMailData(d);
    d.SMTP = "mail.example.org";
    d.Username = "backup";
    d.Password = "pw";
    d.Sender = "Backups";
    d.ReplyTo = "desk@example.org";
    d.Recipients = "anna@example.org,#boss@example.org,*off@example.org";
    d.Subject = "%taskname%: %result%";
    d.Attachments = "/var/log/a.log,\"/srv/my notes.txt|text/plain\"";
    d.LogMode = mmError;
    d.ZipMode = zmYes;
    return d;
}

const TScreenshotShow mailShot("mail-dialog", [](const TScreenshotSaver& save) {
    TMailData d = Sample();
    TMailMode mode = mmAlways;
    ScreenshotModal(save, [&] {
        TMailDialog dlg;
        dlg.Execute(nullptr, "Backup: Documents", d, mode);
    });
});

const TScreenshotShow statusShot("mail-status-dialog", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [&] {
        ShowMailTestDialog("Mail notifications were sent to:\r\nanna@example.org, boss@example.org",
                           "/tmp/QvSmtp.log", mdtInformation);
    });
});

const TScreenshotShow accountShot("account-dialog", [](const TScreenshotSaver& save) {
    std::string user = "backup", pwd;
    ScreenshotModal(save, [&] {
        ShowAccountDialog("Network account", "Account of the share //nas/backup", user, pwd, true, true, 8);
    });
});

class MailDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
    // Runs the dialog with action on it; the result of Execute.
    bool Run(TMailData& d, TMailMode& mode, const std::function<void(QWidget*)>& action,
             const std::string& ini = "")
    {
        TMailDialog dlg;
        dlg.Init(ini);
        WhenModal(action);
        return dlg.Execute(nullptr, "Backup: Documents", d, mode);
    }
};
} // namespace

TEST_F(MailDlgTest, ShowsTheSettingsAndOkWithoutChangesKeepsThem)
{
    TMailData d = Sample();
    TMailMode mode = mmError;
    QStringList states;
    QString mask, task;
    bool zipEnabled = false, sendOnError = false;
    int attachments = 0;
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        auto* list = Find<QListWidget>(w, "lbRecipients");
        for (int i = 0; i < list->count(); ++i)
            states << QString::number(list->item(i)->checkState());
        mask = Find<QLineEdit>(w, "edtSmtpPwd")->text();
        task = Find<QLabel>(w, "lbTask")->text();
        zipEnabled = Find<QGroupBox>(w, "rgZip")->isEnabled();
        sendOnError = Find<QRadioButton>(w, "rbError")->isChecked();
        attachments = Find<QListWidget>(w, "lbAttach")->count();
        ClickOk(w);
    }));
    EXPECT_EQ(QStringList({"2", "1", "0"}), states);
    EXPECT_EQ(QString(2, QChar(0x25CF)), mask);
    EXPECT_EQ(QStringLiteral("Backup: Documents"), task);
    EXPECT_TRUE(zipEnabled);
    EXPECT_TRUE(sendOnError);
    EXPECT_EQ(2, attachments);
    const TMailData want = Sample();
    EXPECT_EQ(want.Recipients, d.Recipients);
    EXPECT_EQ(want.Attachments, d.Attachments);
    EXPECT_EQ(want.Subject, d.Subject);
    EXPECT_EQ("pw", d.Password);
    EXPECT_EQ(mmError, d.LogMode);
    EXPECT_EQ(zmYes, d.ZipMode);
    EXPECT_EQ(mmError, mode);

    // Never attaching the log disables the zip choice; the send mode follows the radio buttons.
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        Find<QRadioButton>(w, "rbLogNever")->setChecked(true);
        zipEnabled = Find<QGroupBox>(w, "rgZip")->isEnabled();
        Find<QRadioButton>(w, "rbNever")->setChecked(true);
        ClickOk(w);
    }));
    EXPECT_FALSE(zipEnabled);
    EXPECT_EQ(mmNone, d.LogMode);
    EXPECT_EQ(mmNone, mode);
}

TEST_F(MailDlgTest, IncompleteSettingsAreRefusedInPlace)
{
    struct Case
    {
        const char* Field;
        const char* Message;
    };
    const Case cases[] = {{"edServer", "Please specify an SMTP server!"},
                          {"edUsername", "Please specify a user name!"},
                          {"lbRecipients", "Please specify at least one recipient!"},
                          {"edReply", "Please specify a valid reply address!"},
                          {"edPort", "Range check error (0 .. 65535)"}};
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        TMailData d = Sample();
        TMailMode mode = mmAlways;
        bool stayed = false, prompted = false;
        EXPECT_FALSE(Run(d, mode, [&](QWidget* w) {
            const std::string field = c.Field;
            if (field == "edServer" || field == "edUsername" || field == "edReply")
                Find<QComboBox>(w, c.Field)
                    ->setEditText(field == "edReply" ? QStringLiteral("nobody") : QString());
            if (field == "edReply")
                Find<QComboBox>(w, "edSender")->setEditText(QStringLiteral("Backups"));
            if (field == "lbRecipients") {
                Find<QListWidget>(w, "lbRecipients")->clear();
                // The prompt for a new recipient opens after the message.
                WhenModalOtherThan(w, [&](QWidget* input) {
                    prompted = input && input->objectName() == QStringLiteral("InputTextDialog");
                    if (input)
                        QTest::keyClick(input, Qt::Key_Escape);
                });
            }
            if (field == "edPort")
                Find<TRangeEdit>(w, "edPort")->setText(QStringLiteral("70000"));
            QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            stayed = w->isVisible();
            QTest::keyClick(w, Qt::Key_Escape);
        })) << c.Field;
        EXPECT_TRUE(stayed) << c.Field;
        ASSERT_FALSE(MsgDialogLog().empty()) << c.Field;
        EXPECT_EQ(c.Message, MsgDialogLog().front().Text);
        if (std::string(c.Field) == "lbRecipients") {
            EXPECT_TRUE(prompted);
        }
        EXPECT_EQ(Sample().SMTP, d.SMTP);
    }
}

TEST_F(MailDlgTest, ImplicitTlsSetsPort465AndOthers25)
{
    TMailData d = Sample();
    TMailMode mode = mmAlways;
    QString implicitPort, explicitPort;
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        auto* secure = Find<QComboBox>(w, "cbSecure");
        secure->setCurrentIndex(stImplicit);
        emit secure->activated(stImplicit);
        implicitPort = Find<TRangeEdit>(w, "edPort")->text();
        secure->setCurrentIndex(stExplicit);
        emit secure->activated(stExplicit);
        explicitPort = Find<TRangeEdit>(w, "edPort")->text();
        ClickOk(w);
    }));
    EXPECT_EQ(QStringLiteral("465"), implicitPort);
    EXPECT_EQ(QStringLiteral("25"), explicitPort);
    EXPECT_EQ(stExplicit, d.SecureMode);
    EXPECT_EQ(25, d.Port);
}

TEST_F(MailDlgTest, RecipientsAreAddedOnceEditedAndRemovedAfterTheQuestion)
{
    TMailData d = Sample();
    TMailMode mode = mmAlways;
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        auto answer = [w](const QString& text) {
            WhenModalOtherThan(w, [text](QWidget* input) {
                Find<QComboBox>(input, "TextFeld")->setEditText(text);
                Find<QPushButton>(input, "OKBtn")->click();
            });
        };
        answer(QStringLiteral("new@example.org"));
        Find<QPushButton>(w, "btnAddRec")->click();
        answer(QStringLiteral("ANNA@example.org")); // already listed
        Find<QPushButton>(w, "btnAddRec")->click();
        auto* list = Find<QListWidget>(w, "lbRecipients");
        list->setCurrentRow(1);
        answer(QStringLiteral("chief@example.org"));
        Find<QPushButton>(w, "btnEditRec")->click();
        list->setCurrentRow(2);
        QueueMsgDialogAnswer(mrYes);
        Find<QPushButton>(w, "btnRemRec")->click();
        EXPECT_EQ(2, list->currentRow());
        ClickOk(w);
    }));
    EXPECT_EQ("anna@example.org,#chief@example.org,new@example.org", d.Recipients);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ("Remove recipient:\r\noff@example.org\r\nfrom list?", MsgDialogLog().back().Text);
}

TEST_F(MailDlgTest, AttachmentsAreLimitedToTenAndEditedInPlace)
{
    TMailData d = Sample();
    TMailMode mode = mmAlways;
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        auto* list = Find<QListWidget>(w, "lbAttach");
        // Edit the second entry: a type after "|".
        list->item(1)->setSelected(true);
        WhenModalOtherThan(w, [](QWidget* input) {
            Find<QComboBox>(input, "TextFeld")->setEditText(QStringLiteral("/srv/b.log|text/plain"));
            Find<QPushButton>(input, "OKBtn")->click();
        });
        Find<QPushButton>(w, "btnEditAtt")->click();
        // Remove the first after the question.
        list->clearSelection();
        list->item(0)->setSelected(true);
        QueueMsgDialogAnswer(mrYes);
        Find<QPushButton>(w, "btnRemAtt")->click();
        // Fill up to ten; the eleventh is refused.
        while (list->count() < 10)
            list->addItem(QStringLiteral("/srv/f%1.txt").arg(list->count()));
        list->clearSelection();
        QueueMsgDialogAnswer(mrOk);
        Find<QPushButton>(w, "btnEditAtt")->click();
        QueueMsgDialogAnswer(mrOk);
        Find<QPushButton>(w, "btnAddAtt")->click();
        EXPECT_EQ(10, list->count());
        ClickOk(w);
    }));
    const auto& log = MsgDialogLog();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("Remove selected attachments?", log[0].Text);
    EXPECT_EQ("The maximum number of attachments is 10!", log[1].Text);
    EXPECT_EQ("The maximum number of attachments is 10!", log[2].Text);
    EXPECT_THAT(d.Attachments, ::testing::StartsWith("/srv/b.log|text/plain,/srv/f1.txt,"));
}

TEST_F(MailDlgTest, EncryptedZipAsksForAPasswordAndAddressBookKeepsQuotes)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        TMemIniFile f(ini);
        f.WriteString("MailTo", "Address0", "#Desk# <desk@example.org>");
        f.UpdateFile();
    }
    TMailData d = Sample();
    TMailMode mode = mmAlways;
    QStringList book;
    ASSERT_TRUE(Run(
        d, mode,
        [&](QWidget* w) {
            auto* sender = Find<QComboBox>(w, "edSender");
            for (int i = 0; i < sender->count(); ++i)
                book << sender->itemText(i);
            sender->setEditText(QStringLiteral("robot@example.org"));
            WhenModalOtherThan(w, [](QWidget* pwd) {
                Find<QLineEdit>(pwd, "edtPwd")->setText(QStringLiteral("zip-secret"));
                Find<QLineEdit>(pwd, "edtRepPwd")->setText(QStringLiteral("zip-secret"));
                Find<QPushButton>(pwd, "OKBtn")->click();
            });
            Find<QRadioButton>(w, "rgZip2")->click();
            ClickOk(w);
        },
        ini));
    EXPECT_EQ(QStringList({"\"Desk\" <desk@example.org>"}), book);
    EXPECT_EQ(zmEncrypt, d.ZipMode);
    EXPECT_EQ("zip-secret", d.CryptKey);
    TMemIniFile f(ini);
    EXPECT_EQ("desk@example.org", f.ReadString("MailTo", "Address0", ""));
    EXPECT_EQ("robot@example.org", f.ReadString("MailTo", "Address1", ""));
    EXPECT_EQ("#Desk# <desk@example.org>", f.ReadString("MailTo", "Address2", ""));
    EXPECT_EQ("mail.example.org", f.ReadString("SmtpServer", "History0", ""));

    // Cancelling the password without one keeps the previous choice.
    d.ZipMode = zmYes;
    d.CryptKey.clear();
    ASSERT_TRUE(Run(d, mode, [&](QWidget* w) {
        WhenModalOtherThan(w, [](QWidget* pwd) { QTest::keyClick(pwd, Qt::Key_Escape); });
        Find<QRadioButton>(w, "rgZip2")->click();
        ClickOk(w);
    }));
    EXPECT_EQ(zmYes, d.ZipMode);
    EXPECT_EQ("", d.CryptKey);
}

class MailDlgServerTest : public MailDlgTest
{
protected:
    void SetUp() override
    {
        MailDlgTest::SetUp();
        VASTREL_REQUIRE_SERVER(server->Error);
        saved = ProgSettings.Directories.LogDir;
        ProgSettings.Directories.LogDir = sandbox.Path("logs");
        std::filesystem::create_directories(sandbox.Path("logs"));
    }
    void TearDown() override
    {
        ProgSettings.Directories.LogDir = saved;
        MailDlgTest::TearDown();
    }
    std::string saved;
    SmtpTestServer* server = &SmtpTestServer::Shared();
};

TEST_F(MailDlgServerTest, TestButtonSendsToEveryRecipientAndShowsTheOutcome)
{
    struct Case
    {
        const char* Recipients;
        bool Delivered;
        const char* Text;
    };
    const Case cases[] = {
        {"anna@example.org,*off@example.org", true,
         "Mail notifications were sent to:\nanna@example.org, off@example.org"},
        {"refused@example.org", false, "Could not deliver mail to refused@example.org!"},
    };
    for (const Case& c : cases) {
        TmMailer mailer;
        mailer.ReadTimeout = 5000;
        TMailData d = Sample();
        d.SMTP = "127.0.0.1";
        d.Port = server->Port("open");
        d.Username = "alice";
        d.Password = "s3cret";
        d.Recipients = c.Recipients;
        TMailMode mode = mmAlways;
        const int before = server->Count();
        QString shown;
        bool icon = false;
        TMailDialog dlg;
        WhenModal([&](QWidget* w) {
            WhenModalOtherThan(w, [&](QWidget* status) {
                shown = Find<QLabel>(status, "stInfo")->text();
                icon = Find<QLabel>(status, "imgIcon")->isVisible();
                Find<QPushButton>(status, "btbOK")->click();
            });
            Find<QPushButton>(w, "btnTest")->click();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_FALSE(dlg.Execute(&mailer, "Backup: Documents", d, mode));
        EXPECT_THAT(shown.toStdString(), HasSubstr(c.Text));
        EXPECT_TRUE(icon);
        EXPECT_EQ(before + (c.Delivered ? 1 : 0), server->Count());
    }
    EXPECT_TRUE(std::filesystem::exists(sandbox.Path("logs/QvSmtp.log")));
}

TEST_F(MailDlgTest, StatusDialogDeletesItsLogAfterTheQuestion)
{
    const std::string log = sandbox.Path("QvSmtp.log");
    std::ofstream(log) << "Sent: EHLO Vastrel\r\n";
    WhenModal([](QWidget* w) {
        QueueMsgDialogAnswer(mrYes);
        Find<QPushButton>(w, "btbDelLog")->click();
        Find<QPushButton>(w, "btbOK")->click();
    });
    EXPECT_TRUE(ShowMailTestDialog("Error during mail delivery (SMTP: host:25)", log, mdtError));
    EXPECT_FALSE(std::filesystem::exists(log));
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ("Delete log file \"" + log + "\"?", MsgDialogLog().back().Text);
}

TEST_F(MailDlgTest, AccountDialogChecksTheRepeatedPasswordOnlyWithConfirm)
{
    struct Case
    {
        bool Confirm;
        const char* First;
        const char* Second;
        const char* Message;
    };
    const Case cases[] = {
        {true, "abc", "abc", "Minimum length of password is 8 characters"},
        {true, "abcdefgh", "abcdefgX", "Passwords do not match!"},
        {true, "abcdefgh", "abcdefgh", nullptr},
        {false, "abc", "", nullptr},
    };
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        std::string user = "old", pwd = "old";
        bool repeatShown = !c.Confirm;
        WhenModal([&](QWidget* w) {
            repeatShown = Find<QWidget>(w, "pnCenter")->isVisible();
            Find<QLineEdit>(w, "edtName")->setText(QStringLiteral("backup"));
            Find<QLineEdit>(w, "edtPwd")->setText(QString::fromLatin1(c.First));
            Find<QLineEdit>(w, "edtRepPwd")->setText(QString::fromLatin1(c.Second));
            if (c.Message)
                QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            if (w->isVisible())
                QTest::keyClick(w, Qt::Key_Escape);
        });
        const bool ok = ShowAccountDialog("Account", "", user, pwd, c.Confirm, false, 8);
        EXPECT_EQ(c.Confirm, repeatShown);
        if (c.Message) {
            EXPECT_FALSE(ok);
            ASSERT_FALSE(MsgDialogLog().empty());
            EXPECT_EQ(c.Message, MsgDialogLog().back().Text);
            EXPECT_EQ("old", user);
        } else {
            EXPECT_TRUE(ok);
            EXPECT_EQ("backup", user);
            EXPECT_EQ(c.First, pwd);
        }
    }
}
