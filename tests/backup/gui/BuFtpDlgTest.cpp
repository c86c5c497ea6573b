#include "backup/gui/BuFtpDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "rtl/DateTime.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

#include <ctime>

namespace fs = std::filesystem;

namespace {

class BuFtpDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }

    // Runs a fresh dialog on par; action sees it once it shows.
    bool Run(TFtpParams& par, const std::function<void(QWidget*)>& action, bool backup = true, int page = 0)
    {
        TFtpDialog dlg;
        dlg.Init(sandbox.Path("Vastrel.ini"));
        WhenModal([action](QWidget* w) {
            ASSERT_NE(nullptr, w);
            action(w);
        });
        return dlg.Execute(par, backup, page);
    }
};

TFtpParams SampleParams()
{
    TFtpParams p;
    InitFtpParams(p);
    p.Host = "files.example";
    p.Username = "anna";
    p.Password = "pä55";
    p.Directory = "backup/%date%";
    p.Port = 2121;
    p.SecureMode = 1;
    p.UseTimeOffset = true;
    p.TimeOffset = 150;
    p.ConnTimeout = 30000;
    p.ResponseTimeOut = 45000;
    p.ConnAttempts = 3;
    p.KeepAlive = 1;
    p.CaseMode = tcUpper;
    p.InvalidChars = ":*";
    p.Quotes = true;
    p.Passive = false;
    p.UseIPv6 = true;
    p.UseOpts = true;
    p.WriteLog = true;
    p.Proxy.Server = "gate";
    p.Proxy.Port = 3128;
    p.Proxy.Username = "fw";
    p.Proxy.Password = "fw-pw";
    p.Proxy.Mode = fpcmOpen;
    p.CertVerify = 2;
    p.Fingerprint = "AA:BB";
    return p;
}

template <typename T> T* F(QWidget* w, const char* name)
{
    T* c = Find<T>(w, name);
    EXPECT_NE(nullptr, c) << name;
    return c;
}

void ClickOk(QWidget* w)
{
    QTest::mouseClick(F<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}

void Choose(QWidget* w, int secureIndex)
{
    auto* combo = F<QComboBox>(w, "cbSecure");
    combo->setCurrentIndex(secureIndex);
    emit combo->activated(secureIndex);
}

const TScreenshotShow shotGeneral("ftp-settings", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TFtpParams p = SampleParams();
        ShowFtpDialog(p, true, 0);
    });
});
const TScreenshotShow shotAdvanced("ftp-settings-advanced", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TFtpParams p = SampleParams();
        ShowFtpDialog(p, true, 1);
    });
});
const TScreenshotShow shotCertificate("ftp-settings-certificate", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TFtpParams p = SampleParams();
        ShowFtpDialog(p, true, 2);
    });
});

} // namespace

TEST_F(BuFtpDlgTest, TheControlsShowTheSettings)
{
    TFtpParams p = SampleParams();
    Run(p, [](QWidget* w) {
        EXPECT_EQ("files.example", F<QComboBox>(w, "edServer")->currentText());
        EXPECT_EQ("anna", F<QComboBox>(w, "edUsername")->currentText());
        EXPECT_EQ(QString(4, QChar(0x25CF)), F<QLineEdit>(w, "edtFtpPwd")->text());
        EXPECT_TRUE(F<QLineEdit>(w, "edtFtpPwd")->isReadOnly());
        EXPECT_FALSE(F<QLineEdit>(w, "edtFtpPwd")->focusPolicy() & Qt::TabFocus);
        EXPECT_EQ("2121", F<QLineEdit>(w, "edtPort")->text());
        EXPECT_EQ("backup/%date%", F<QComboBox>(w, "edDir")->currentText());
        EXPECT_EQ(1, F<QComboBox>(w, "cbSecure")->currentIndex());
        EXPECT_TRUE(F<QPushButton>(w, "btnSecurity")->isEnabled());
        EXPECT_FALSE(F<QCheckBox>(w, "cbPassive")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbUseIPv6")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbOpts")->isChecked());
        EXPECT_FALSE(F<QCheckBox>(w, "cbUtf8")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbFtpLog")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbOffset")->isChecked());
        EXPECT_EQ("2", F<QLineEdit>(w, "edOffset")->text()); // 150 minutes: the remainder is dropped
        EXPECT_TRUE(F<QLineEdit>(w, "edOffset")->isEnabled());
        EXPECT_EQ("30", F<QLineEdit>(w, "reConnTimeout")->text());
        EXPECT_EQ("45", F<QLineEdit>(w, "reRespTimeout")->text());
        EXPECT_EQ("3", F<QLineEdit>(w, "reConnect")->text());
        EXPECT_TRUE(F<QCheckBox>(w, "cbAlive")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbUpper")->isChecked());
        EXPECT_FALSE(F<QCheckBox>(w, "cbLower")->isChecked());
        EXPECT_EQ(":*", F<QLineEdit>(w, "edInvalid")->text());
        EXPECT_TRUE(F<QCheckBox>(w, "cbQuotes")->isChecked());
        EXPECT_TRUE(F<QCheckBox>(w, "cbProxy")->isChecked());
        EXPECT_EQ("gate:3128", F<QLineEdit>(w, "edProxy")->text());
        EXPECT_TRUE(F<QCheckBox>(w, "cbCertVerify")->isChecked());
        EXPECT_TRUE(F<QRadioButton>(w, "rbCompare")->isChecked());
        EXPECT_TRUE(F<QLineEdit>(w, "edFingerprint")->isEnabled());
        EXPECT_EQ("AA:BB", F<QLineEdit>(w, "edFingerprint")->text());
        EXPECT_EQ(0, F<QStackedWidget>(w, "pcSettings")->currentIndex());
        EXPECT_EQ(0, F<QTabWidget>(w, "pcOptions")->currentIndex());
        QTest::mouseClick(F<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
}

TEST_F(BuFtpDlgTest, OkWritesTheEditedValuesAndCancelLeavesThemAlone)
{
    TFtpParams p = SampleParams();
    p.Caption = "kept";
    p.KeepAliveCmd = 7;
    const TFtpParams before = p;
    EXPECT_FALSE(Run(p, [](QWidget* w) {
        F<QComboBox>(w, "edServer")->setEditText("changed");
        QTest::mouseClick(F<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    }));
    EXPECT_EQ(before.Host, p.Host);

    ASSERT_TRUE(Run(p, [](QWidget* w) {
        F<QComboBox>(w, "edServer")->setEditText("  other.example ");
        F<QComboBox>(w, "edDir")->setEditText("a\\b\\c");
        F<TRangeEdit>(w, "edOffset")->setText("-3");
        F<TRangeEdit>(w, "reConnTimeout")->setText("600");
        F<TRangeEdit>(w, "reRespTimeout")->setText("1");
        F<TRangeEdit>(w, "reConnect")->setText("10");
        F<QCheckBox>(w, "cbAlive")->setChecked(false);
        F<QCheckBox>(w, "cbLower")->setChecked(true);
        F<QCheckBox>(w, "cbPassive")->setChecked(true);
        F<QCheckBox>(w, "cbUseHost")->setChecked(true);
        F<QCheckBox>(w, "cbExtensions")->setChecked(true);
        F<QRadioButton>(w, "rbConfirm")->setChecked(true);
        ClickOk(w);
    }));
    EXPECT_EQ("other.example", p.Host);
    EXPECT_EQ("a/b/c", p.Directory);
    EXPECT_EQ("pä55", p.Password);
    EXPECT_EQ(-180, p.TimeOffset);
    EXPECT_TRUE(p.UseTimeOffset);
    EXPECT_EQ(600000, p.ConnTimeout);
    EXPECT_EQ(1000, p.ResponseTimeOut);
    EXPECT_EQ(10, p.ConnAttempts);
    EXPECT_EQ(0, p.KeepAlive);
    EXPECT_EQ(tcLower, p.CaseMode);
    EXPECT_TRUE(p.Passive);
    EXPECT_TRUE(p.UseHost);
    EXPECT_TRUE(p.UseExts);
    EXPECT_EQ(1, p.CertVerify);
    EXPECT_EQ(fpcmOpen, p.Proxy.Mode);
    EXPECT_EQ("kept", p.Caption);
    EXPECT_EQ(7, p.KeepAliveCmd);
    EXPECT_EQ(1, p.SecureMode);
    EXPECT_EQ(2121, p.Port);
}

TEST_F(BuFtpDlgTest, TheSecureModeSetsTheStandardPortsAndZeroShowsTwentyOne)
{
    TFtpParams p = SampleParams();
    p.SecureMode = 0;
    p.Port = 0;
    std::vector<QString> ports;
    std::vector<bool> security;
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        auto* port = F<TRangeEdit>(w, "edtPort");
        ports.push_back(port->text());
        security.push_back(F<QPushButton>(w, "btnSecurity")->isEnabled());
        for (int index : {3, 2, 0, 1}) {
            Choose(w, index);
            ports.push_back(port->text());
            security.push_back(F<QPushButton>(w, "btnSecurity")->isEnabled());
        }
        port->setText("0");
        emit port->editingFinished();
        ports.push_back(port->text());
        ClickOk(w);
    }));
    EXPECT_EQ(std::vector<QString>({"21", "990", "990", "21", "21", "21"}), ports);
    EXPECT_EQ(std::vector<bool>({false, true, true, false, true}), security);
    EXPECT_EQ(1, p.SecureMode);
    EXPECT_EQ(21, p.Port);
}

TEST_F(BuFtpDlgTest, OkRefusesEmptyRequiredFieldsAndNumbersOutOfRangeInPlace)
{
    struct Case
    {
        const char* field;
        const char* value;
        const char* message;
        int page;
    };
    const Case cases[] = {
        {"edServer", "  ", "Please specify an FTP server!", 0},
        {"edUsername", "", "Please specify a user name!", 0},
        {"edtPort", "70000", "Range check error (0 .. 65535)", 0},
        {"edOffset", "13", "Range check error (-12 .. 12)", 0},
        {"reConnTimeout", "0", "Range check error (1 .. 600)", 1},
        {"reConnTimeout", "601", "Range check error (1 .. 600)", 1},
        {"reRespTimeout", "", "Range check error (1 .. 600)", 1},
        {"reConnect", "11", "Range check error (1 .. 10)", 1},
    };
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        TFtpParams p = SampleParams();
        const TFtpParams before = p;
        bool open = false, focused = false;
        int page = -1;
        EXPECT_FALSE(Run(p, [&](QWidget* w) {
            QWidget* field = F<QWidget>(w, c.field);
            if (auto* combo = qobject_cast<QComboBox*>(field))
                combo->setEditText(c.value);
            else
                static_cast<QLineEdit*>(field)->setText(c.value);
            QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            open = w->isVisible();
            page = F<QStackedWidget>(w, "pcSettings")->currentIndex();
            QWidget* focus = w->focusWidget();
            focused = focus == field || (focus && focus->parentWidget() == field);
            QTest::mouseClick(F<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
        })) << c.field;
        EXPECT_TRUE(open) << c.field;
        EXPECT_EQ(c.page, page) << c.field;
        EXPECT_TRUE(focused) << c.field;
        ASSERT_EQ(1u, MsgDialogLog().size()) << c.field;
        EXPECT_EQ(c.message, MsgDialogLog()[0].Text);
        EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
        EXPECT_EQ(before.Host, p.Host);
    }
}

TEST_F(BuFtpDlgTest, AnUncheckedProxyStoresModeNoneButKeepsItsSettings)
{
    TFtpParams p = SampleParams();
    bool enabled = true;
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        QTest::mouseClick(F<QPushButton>(w, "btnAdvanced"), Qt::LeftButton);
        F<QCheckBox>(w, "cbProxy")->click();
        enabled = F<QPushButton>(w, "btProxy")->isEnabled() || F<QLineEdit>(w, "edProxy")->isEnabled();
        ClickOk(w);
    }));
    EXPECT_FALSE(enabled);
    EXPECT_EQ(fpcmNone, p.Proxy.Mode);
    EXPECT_EQ("gate", p.Proxy.Server);
    EXPECT_EQ(3128, p.Proxy.Port);
    EXPECT_EQ("fw", p.Proxy.Username);
    EXPECT_EQ("fw-pw", p.Proxy.Password);
}

TEST_F(BuFtpDlgTest, CheckingTheProxyOpensTheProxyDialogAndItsAnswerDecidesTheBox)
{
    TFtpParams p = SampleParams();
    p.Proxy = TFtpProxyParams();
    std::vector<bool> checked;
    QString field;
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        QTest::mouseClick(F<QPushButton>(w, "btnAdvanced"), Qt::LeftButton);
        auto* box = F<QCheckBox>(w, "cbProxy");
        WhenModalOtherThan(w, [](QWidget* d) {
            ASSERT_NE(nullptr, d);
            QTest::mouseClick(Find<QPushButton>(d, "CancelBtn"), Qt::LeftButton);
        });
        box->click();
        checked.push_back(box->isChecked());
        WhenModalOtherThan(w, [](QWidget* d) {
            ASSERT_NE(nullptr, d);
            Find<QRadioButton>(d, "rbMethod1")->setChecked(true);
            Find<QLineEdit>(d, "edProxy")->setText("proxy.lan");
            Find<QLineEdit>(d, "edtPort")->setText("8021");
            QTest::mouseClick(Find<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        box->click();
        checked.push_back(box->isChecked());
        field = F<QLineEdit>(w, "edProxy")->text();
        ClickOk(w);
    }));
    EXPECT_EQ(std::vector<bool>({false, true}), checked);
    EXPECT_EQ("proxy.lan:8021", field);
    EXPECT_EQ(fpcmSite, p.Proxy.Mode);
    EXPECT_EQ("proxy.lan", p.Proxy.Server);
    EXPECT_EQ(8021, p.Proxy.Port);
}

TEST_F(BuFtpDlgTest, CertificateControlsFollowTheCheckAndTheChoiceAndTheFingerprintIsPasted)
{
    TFtpParams p = SampleParams();
    p.CertVerify = 0;
    p.Fingerprint = "";
    struct State
    {
        bool radios, fingerprint;
    };
    std::vector<State> states;
    ASSERT_TRUE(Run(
        p,
        [&](QWidget* w) {
            auto* check = F<QCheckBox>(w, "cbCertVerify");
            auto* confirm = F<QRadioButton>(w, "rbConfirm");
            auto state = [&] {
                states.push_back({confirm->isEnabled() && F<QRadioButton>(w, "rbCompare")->isEnabled(),
                                  F<QLineEdit>(w, "edFingerprint")->isEnabled() &&
                                      F<QPushButton>(w, "btnGetFp")->isEnabled()});
            };
            state();
            EXPECT_TRUE(confirm->isChecked());
            check->click();
            state();
            F<QRadioButton>(w, "rbCompare")->click();
            state();
            QApplication::clipboard()->setText("01:02:03");
            F<QLineEdit>(w, "edFingerprint")->setText("old");
            QTest::mouseClick(F<QPushButton>(w, "btnGetFp"), Qt::LeftButton);
            EXPECT_EQ("01:02:03", F<QLineEdit>(w, "edFingerprint")->text());
            ClickOk(w);
        },
        true, 2));
    ASSERT_EQ(3u, states.size());
    EXPECT_FALSE(states[0].radios);
    EXPECT_FALSE(states[0].fingerprint);
    EXPECT_TRUE(states[1].radios);
    EXPECT_FALSE(states[1].fingerprint);
    EXPECT_TRUE(states[2].radios);
    EXPECT_TRUE(states[2].fingerprint);
    EXPECT_EQ(2, p.CertVerify);
    EXPECT_EQ("01:02:03", p.Fingerprint);
}

TEST_F(BuFtpDlgTest, PagesAndTheControlsOfBackupTasksOnly)
{
    for (const bool backup : {true, false}) {
        TFtpParams p = SampleParams();
        std::vector<int> pages;
        bool generalEnabled = false, placeholder = !backup, lower = !backup, upper = !backup;
        ASSERT_TRUE(Run(
            p,
            [&](QWidget* w) {
                auto* stack = F<QStackedWidget>(w, "pcSettings");
                pages.push_back(stack->currentIndex());
                generalEnabled = F<QPushButton>(w, "btnGeneral")->isEnabled();
                placeholder = !F<QPushButton>(w, "btnPhDir")->isHidden();
                lower = !F<QCheckBox>(w, "cbLower")->isHidden();
                upper = !F<QCheckBox>(w, "cbUpper")->isHidden();
                QTest::mouseClick(F<QPushButton>(w, "btnGeneral1"), Qt::LeftButton);
                pages.push_back(stack->currentIndex());
                QTest::mouseClick(F<QPushButton>(w, "btnAdvanced"), Qt::LeftButton);
                pages.push_back(stack->currentIndex());
                QTest::mouseClick(F<QPushButton>(w, "btnGeneral"), Qt::LeftButton);
                pages.push_back(stack->currentIndex());
                QTest::mouseClick(F<QPushButton>(w, "btnSecurity"), Qt::LeftButton);
                pages.push_back(stack->currentIndex());
                ClickOk(w);
            },
            backup, 2));
        EXPECT_EQ(std::vector<int>({2, 0, 1, 1, 2}), pages); // "General settings" is off unless started there
        EXPECT_FALSE(generalEnabled);
        EXPECT_EQ(backup, placeholder);
        EXPECT_EQ(backup, lower);
        EXPECT_EQ(backup, upper);
        EXPECT_EQ(backup ? tcUpper : tcNone, p.CaseMode);
    }
}

TEST_F(BuFtpDlgTest, CaseChangesExcludeEachOtherAndTheOffsetBoxTakesTheLocalOffset)
{
    TFtpParams p = SampleParams();
    p.UseTimeOffset = false;
    p.TimeOffset = 300;
    const int localHours =
        static_cast<int>(UtcOffsetSeconds(static_cast<int64_t>(std::time(nullptr))) / 3600);
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        auto* lower = F<QCheckBox>(w, "cbLower");
        auto* upper = F<QCheckBox>(w, "cbUpper");
        lower->setChecked(true);
        EXPECT_FALSE(upper->isChecked());
        upper->setChecked(true);
        EXPECT_FALSE(lower->isChecked());
        auto* offset = F<TRangeEdit>(w, "edOffset");
        EXPECT_FALSE(offset->isEnabled());
        EXPECT_FALSE(F<QLabel>(w, "lbOffset")->isEnabled());
        EXPECT_EQ("5", offset->text());
        F<QTabWidget>(w, "pcOptions")->setCurrentIndex(2);
        F<QCheckBox>(w, "cbOffset")->click();
        EXPECT_TRUE(offset->isEnabled());
        EXPECT_TRUE(F<QLabel>(w, "lbOffset")->isEnabled());
        EXPECT_EQ(QString::number(localHours), offset->text());
        ClickOk(w);
    }));
    EXPECT_TRUE(p.UseTimeOffset);
    EXPECT_EQ(localHours * 60, p.TimeOffset);
    EXPECT_EQ(tcUpper, p.CaseMode);
}

TEST_F(BuFtpDlgTest, HistoriesComeFromTheSettingsFileAndEmptyFieldsTakeTheNewestEntry)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        auto file = TUnicodeIniFile::CreateForWrite(ini, false);
        file.WriteString("FtpServer", "History0", "newest.example");
        file.WriteString("FtpServer", "History1", "older.example");
        file.WriteString("Usernames", "History0", "bert");
        file.WriteString("FtpDirs", "History0", "/saved");
    }
    TFtpParams p;
    InitFtpParams(p);
    QString server, user;
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        server = F<QComboBox>(w, "edServer")->currentText();
        user = F<QComboBox>(w, "edUsername")->currentText();
        EXPECT_EQ(2, F<QComboBox>(w, "edServer")->count());
        F<QComboBox>(w, "edServer")->setEditText("third.example");
        ClickOk(w);
    }));
    EXPECT_EQ("newest.example", server);
    EXPECT_EQ("bert", user);
    EXPECT_EQ("third.example", p.Host);
    EXPECT_EQ("bert", p.Username);
    TMemIniFile saved(ini);
    EXPECT_EQ("third.example", saved.ReadString("FtpServer", "History0", ""));
    EXPECT_EQ("newest.example", saved.ReadString("FtpServer", "History1", ""));
}

TEST_F(BuFtpDlgTest, SelectingARemoteDirectoryNeedsServerAndUserAndUsesTheFolderBrowser)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    TFtpParams p = SampleParams();
    p.Host = "";
    p.SecureMode = 0;
    p.UseIPv6 = false;
    p.WriteLog = false;
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    fs::create_directories(fs::path(server.Root()) / "target/deep");
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(F<QPushButton>(w, "btnDir"), Qt::LeftButton);
        ASSERT_EQ(1u, MsgDialogLog().size());
        EXPECT_EQ("Please specify FTP server and username", MsgDialogLog()[0].Text);

        F<QComboBox>(w, "edServer")->setEditText("127.0.0.1");
        F<QComboBox>(w, "edUsername")->setEditText(PyFtpServer::User);
        F<QLineEdit>(w, "edtPort")->setText(QString::number(server.Port()));
        F<QComboBox>(w, "edDir")->setEditText("");
        // The password is entered first, then the folder is picked.
        WhenModalOtherThan(w, [w](QWidget* d) {
            ASSERT_NE(nullptr, d);
            Find<QLineEdit>(d, "edtPwd")->setText(PyFtpServer::Password);
            QTest::mouseClick(Find<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(F<QPushButton>(w, "bbPassword"), Qt::LeftButton);
        WhenModalOtherThan(StatusWindow(), [](QWidget* d) {
            ASSERT_NE(nullptr, d);
            auto* tv = Find<QTreeWidget>(d, "tvSubDirs");
            ASSERT_NE(nullptr, tv);
            tv->setCurrentItem(tv->topLevelItem(0)->child(0));
            QTest::mouseClick(Find<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(F<QPushButton>(w, "btnDir"), Qt::LeftButton);
        EXPECT_EQ("/target/deep", F<QComboBox>(w, "edDir")->currentText());
        ClickOk(w);
    }));
    EXPECT_EQ("/target/deep", p.Directory);
    EXPECT_EQ(PyFtpServer::Password, p.Password);
    EXPECT_EQ("127.0.0.1", p.Host);
}

TEST_F(BuFtpDlgTest, F11ShowsTheHintOfTheFocusedControl)
{
    TFtpParams p = SampleParams();
    Run(p, [](QWidget* w) {
        F<QPushButton>(w, "bbPassword")->setFocus();
        QueueMsgDialogAnswer(mrOk);
        QTest::keyClick(w, Qt::Key_F11);
        QTest::mouseClick(F<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Specify password", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtCustom, MsgDialogLog()[0].DlgType);
}

TEST_F(BuFtpDlgTest, TheHistoryMenuEditsTheListOfTheComboThatOpenedIt)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        auto file = TUnicodeIniFile::CreateForWrite(ini, false);
        file.WriteString("Usernames", "History0", "first");
        file.WriteString("Usernames", "History1", "second");
    }
    TFtpParams p = SampleParams();
    QStringList left;
    ASSERT_TRUE(Run(p, [&](QWidget* w) {
        auto* combo = F<QComboBox>(w, "edUsername");
        emit combo->lineEdit()->customContextMenuRequested(QPoint(2, 2));
        auto* menu = F<QMenu>(w, "pmHistList");
        EXPECT_TRUE(menu->isVisible());
        WhenModalOtherThan(w, [](QWidget* d) {
            ASSERT_NE(nullptr, d);
            auto* list = Find<QListWidget>(d, "lbxStringList");
            list->setCurrentRow(0);
            QTest::mouseClick(Find<QPushButton>(d, "btnDelete"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        menu->findChild<QAction*>("pmiEditList")->trigger();
        menu->hide();
        for (int i = 0; i < combo->count(); ++i)
            left << combo->itemText(i);
        ClickOk(w);
    }));
    EXPECT_EQ(QStringList({"second"}), left);
}
