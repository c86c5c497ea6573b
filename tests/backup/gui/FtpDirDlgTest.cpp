#include "backup/gui/FtpDirDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/BuFtpDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace fs = std::filesystem;

namespace {

class FtpDirDlgTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
        ClearMsgDialogLog();
    }
    void TearDown() override { ClearMsgDialogLog(); }

    void MakeDirs(const std::string& root, std::initializer_list<const char*> dirs)
    {
        for (const char* d : dirs)
            fs::create_directories(fs::path(root) / d);
    }

    // Runs the browser on the server; the action sees the dialog once it shows.
    bool Browse(const PyFtpServer& server, const std::string& dir, std::string& subDir,
                const std::function<void(QWidget*)>& action, int secureMode = 0,
                const std::string& password = PyFtpServer::Password)
    {
        TCertInfos certs;
        InitCertInfos(certs);
        WhenModalOtherThan(StatusWindow(), action);
        return ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, dir, password, server.Port(), certs,
                                secureMode, "", true, false, false, subDir);
    }
};

// The texts of the items below parent (top level for nullptr), "name(children)" each.
QString TreeText(QTreeWidget* tree, QTreeWidgetItem* parent = nullptr)
{
    QStringList parts;
    const int n = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* item = parent ? parent->child(i) : tree->topLevelItem(i);
        QString s = item->text(0);
        if (item->childCount() > 0)
            s += "(" + TreeText(tree, item) + ")";
        parts << s;
    }
    parts.sort();
    return parts.join(",");
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& name)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name)
            return parent->child(i);
    return nullptr;
}

QTreeWidgetItem* TopItem(QTreeWidget* tree, const QString& name)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(0) == name)
            return tree->topLevelItem(i);
    return nullptr;
}

struct TShotServer
{
    Sandbox sandbox;
    std::unique_ptr<PyFtpServer> server;
};

const TScreenshotShow shot("ftp-folders", [](const TScreenshotSaver& save) {
    TShotServer s;
    for (const char* d : {"backup/daily/monday", "backup/daily/tuesday", "backup/weekly", "photos/2024"})
        fs::create_directories(fs::path(s.sandbox.Path("srv")) / d);
    s.server = std::make_unique<PyFtpServer>(s.sandbox.Path("srv"), "plain");
    if (!s.server->Started())
        return;
    TCertInfos certs;
    InitCertInfos(certs);
    std::string sub;
    WhenModalOtherThan(StatusWindow(), [save](QWidget* w) {
        if (w) {
            auto* tree = Find<QTreeWidget>(w, "tvSubDirs");
            tree->expandAll();
            if (QTreeWidgetItem* item = TopItem(tree, "backup"))
                tree->setCurrentItem(Child(Child(item, "daily"), "monday"));
        }
        save(w);
        if (w)
            QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
    });
    ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, "", PyFtpServer::Password, s.server->Port(), certs, 0,
                     "", true, false, false, sub);
});

} // namespace

TEST_F(FtpDirDlgTest, ReadsTheWholeTreeAndOkReturnsTheRootPlusTheSelectedPath)
{
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    MakeDirs(server.Root(), {"data/a/b/c", "data/a/d", "data/x"});
    std::string sub;
    QString tree, base, shown;
    ASSERT_TRUE(Browse(server, "data", sub, [&](QWidget* w) {
        ASSERT_NE(nullptr, w);
        auto* tv = Find<QTreeWidget>(w, "tvSubDirs");
        tree = TreeText(tv);
        base = Find<QLineEdit>(w, "edBaseDir")->text();
        tv->setCurrentItem(Child(Child(TopItem(tv, "a"), "b"), "c"));
        shown = Find<QLineEdit>(w, "edSubDir")->text();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    }));
    EXPECT_EQ("a(b(c),d),x", tree);
    EXPECT_EQ(QString("ftp://127.0.0.1:%1/data").arg(server.Port()), base);
    EXPECT_EQ("a/b/c", shown);
    EXPECT_EQ("/data/a/b/c", sub);
    EXPECT_TRUE(MsgDialogLog().empty());
}

TEST_F(FtpDirDlgTest, AMissingRemoteDirectoryIsCreatedBeforeListingAndCancelReturnsNothing)
{
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    std::string sub = "unchanged";
    int items = -1;
    EXPECT_FALSE(Browse(server, "new/level", sub, [&](QWidget* w) {
        ASSERT_NE(nullptr, w);
        items = Find<QTreeWidget>(w, "tvSubDirs")->topLevelItemCount();
        QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    }));
    EXPECT_EQ(0, items);
    EXPECT_EQ("unchanged", sub);
    EXPECT_TRUE(fs::is_directory(fs::path(server.Root()) / "new/level"));
}

TEST_F(FtpDirDlgTest, OneDirectoryUpRereadsTheTreeAndStopsAtTheServerRoot)
{
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    MakeDirs(server.Root(), {"backup/old", "other"});
    std::string sub;
    std::vector<QString> bases, trees;
    ASSERT_TRUE(Browse(server, "/backup", sub, [&](QWidget* w) {
        ASSERT_NE(nullptr, w);
        auto* tv = Find<QTreeWidget>(w, "tvSubDirs");
        auto* up = Find<QPushButton>(w, "btnDirUp");
        for (int i = 0; i < 3; ++i) {
            bases.push_back(Find<QLineEdit>(w, "edBaseDir")->text());
            trees.push_back(TreeText(tv));
            if (i < 2)
                QTest::mouseClick(up, Qt::LeftButton);
        }
        tv->setCurrentItem(TopItem(tv, "other"));
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    }));
    const QString url = QString("ftp://127.0.0.1:%1").arg(server.Port());
    EXPECT_EQ(std::vector<QString>({url + "/backup", url + "/", url + "/"}), bases);
    EXPECT_EQ(std::vector<QString>({"old", "backup(old),other", "backup(old),other"}), trees);
    EXPECT_EQ("/other", sub);
}

TEST_F(FtpDirDlgTest, BrowsesOverExplicitAndImplicitTls)
{
    VASTREL_REQUIRE_SERVER(TestCertificate::Get().Error);
    for (const auto& [mode, secure] : {std::pair<const char*, int>{"explicit", 2}, {"implicit", 3}}) {
        PyFtpServer server(sandbox.Path(std::string("srv-") + mode), mode);
        ASSERT_TRUE(server.Started()) << server.Error();
        MakeDirs(server.Root(), {"secure/inner"});
        std::string sub;
        QString base;
        ASSERT_TRUE(Browse(
            server, "", sub,
            [&](QWidget* w) {
                ASSERT_NE(nullptr, w);
                auto* tv = Find<QTreeWidget>(w, "tvSubDirs");
                base = Find<QLineEdit>(w, "edBaseDir")->text();
                tv->setCurrentItem(Child(TopItem(tv, "secure"), "inner"));
                QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
            },
            secure))
            << mode;
        EXPECT_EQ(QString("ftps://127.0.0.1:%1/").arg(server.Port()), base);
        EXPECT_EQ("/secure/inner", sub);
    }
}

TEST_F(FtpDirDlgTest, ADownServerARefusedLoginAndRefusedTlsEndWithAClearMessage)
{
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    int downPort = 0;
    {
        PyFtpServer gone(sandbox.Path("gone"), "plain");
        ASSERT_TRUE(gone.Started()) << gone.Error();
        downPort = gone.Port();
    }
    struct Case
    {
        int port;
        int secure;
        std::string password;
        const char* reason;
    };
    const Case cases[] = {{downPort, 0, PyFtpServer::Password, "refused"},
                          {server.Port(), 0, "wrong", "530"},
                          {server.Port(), 2, PyFtpServer::Password, "AUTH"}};
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        QueueMsgDialogAnswer(mrOk);
        bool shown = false;
        TCertInfos certs;
        InitCertInfos(certs);
        std::string sub = "unchanged";
        WhenModalOtherThan(StatusWindow(), [&](QWidget* w) {
            if (w && w->objectName() == "FtpDirDialog") {
                shown = true;
                QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
            }
        });
        EXPECT_FALSE(ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, "", c.password, c.port, certs, c.secure,
                                      "", true, false, false, sub))
            << c.reason;
        EXPECT_FALSE(shown) << c.reason;
        EXPECT_EQ("unchanged", sub);
        ASSERT_EQ(1u, MsgDialogLog().size()) << c.reason;
        const std::string& text = MsgDialogLog()[0].Text;
        EXPECT_EQ(0u, text.rfind("Connection to FTP server failed\r\n", 0)) << text;
        EXPECT_NE(std::string::npos, text.find(c.reason)) << text;
        EXPECT_FALSE(StatusWindow()->isVisible());
        ProcessPendingEvents();
    }
}

TEST_F(FtpDirDlgTest, AMissingPasswordIsAskedForAndDecliningItFails)
{
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    MakeDirs(server.Root(), {"one"});
    QString prompt;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(nullptr, w);
        prompt = Find<QWidget>(w, "lblPrompt")->property("text").toString();
        Find<QLineEdit>(w, "edtPwd")->setText(PyFtpServer::Password);
        // The browser follows the prompt.
        WhenModalOtherThan(StatusWindow(), [](QWidget* d) {
            ASSERT_NE(nullptr, d);
            auto* tv = Find<QTreeWidget>(d, "tvSubDirs");
            tv->setCurrentItem(TopItem(tv, "one"));
            QTest::mouseClick(Find<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    TCertInfos certs;
    InitCertInfos(certs);
    std::string sub;
    ASSERT_TRUE(ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, "", "", server.Port(), certs, 0, "", true,
                                 false, false, sub));
    EXPECT_EQ(QString("Connection to FTP server: 127.0.0.1:%1\nfor user: tester\nrequires a password!")
                  .arg(server.Port()),
              prompt.replace("\r\n", "\n"));
    EXPECT_EQ("/one", sub);

    QueueMsgDialogAnswer(mrOk);
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton); });
    EXPECT_FALSE(ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, "", "", server.Port(), certs, 0, "", true,
                                  false, false, sub));
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Connection to FTP server failed", MsgDialogLog()[0].Text);
}

TEST_F(FtpDirDlgTest, ASilentServerShowsTheStatusWindowWhoseCancelEndsTheWaitAtOnce)
{
    PyFtpServer server(sandbox.Path("srv"), "plain", {"--slow-on", "PASS:600"});
    ASSERT_TRUE(server.Started()) << server.Error();
    QString title, status;
    bool browserShown = false;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(nullptr, w);
        title = w->windowTitle();
        status = Find<QWidget>(w, "StatusLabel")->property("text").toString();
        if (w->objectName() == "FtpDirDialog")
            browserShown = true;
        QTest::mouseClick(Find<QPushButton>(w, "btnCancel"), Qt::LeftButton);
    });
    TCertInfos certs;
    InitCertInfos(certs);
    std::string sub = "unchanged";
    EXPECT_FALSE(ShowFtpDirDialog("127.0.0.1", PyFtpServer::User, "", PyFtpServer::Password, server.Port(),
                                  certs, 0, "", true, false, false, sub));
    EXPECT_FALSE(browserShown);
    EXPECT_EQ("FTP connection", title);
    EXPECT_EQ("Trying to connect to FTP server: 127.0.0.1", status);
    EXPECT_EQ("unchanged", sub);
    EXPECT_TRUE(MsgDialogLog().empty());
    EXPECT_FALSE(StatusWindow()->isVisible());
    EXPECT_EQ(Qt::NonModal, StatusWindow()->windowModality());
}
