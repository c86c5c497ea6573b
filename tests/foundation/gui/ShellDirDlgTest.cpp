#include "foundation/gui/ShellDirDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "platform/XdgDirs.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"

namespace {
class ShellDirDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
    std::string MakeDir(const std::string& rel)
    {
        const std::string path = sandbox.Path(rel);
        QDir().mkpath(QString::fromStdString(path));
        return path;
    }
};
} // namespace

TEST_F(ShellDirDlgTest, StartsOnTheDesktopWithoutAFolderAndInDocumentsForAMissingOne)
{
    TShellDirDialog dlg;
    std::string dir;
    bool desktop = false, okEnabled = true;
    WhenModal([&](QWidget* w) {
        desktop = Find<QToolButton>(w, "spbDesktop")->isChecked();
        okEnabled = Find<QPushButton>(w, "btbOK")->isEnabled();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(dlg.Execute("Select directory", false, false, true, "", dir));
    EXPECT_TRUE(desktop);
    EXPECT_FALSE(okEnabled);

    const std::string docs = DocumentsDir();
    QDir().mkpath(QString::fromStdString(docs));
    dir = sandbox.Path("gone/away");
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "btbOK"), Qt::LeftButton); });
    EXPECT_TRUE(dlg.Execute("Select directory", false, false, true, "", dir));
    EXPECT_EQ(docs + "/", dir);
}

TEST_F(ShellDirDlgTest, OkMovesTheFolderToTheTopOfAHistoryOfFifteen)
{
    TShellDirDialog dlg;
    std::vector<std::string> dirs;
    for (int i = 0; i < 16; ++i)
        dirs.push_back(MakeDir("d" + std::to_string(i)));
    for (int i = 0; i < 16; ++i) {
        std::string dir = dirs[static_cast<size_t>(i)];
        WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "btbOK"), Qt::LeftButton); });
        ASSERT_TRUE(dlg.Execute("", false, false, true, "", dir));
    }
    ASSERT_EQ(15, dlg.History().Count());
    EXPECT_EQ(dirs[15], dlg.History()[0]);
    EXPECT_EQ(dirs[1], dlg.History()[14]); // the oldest went
    std::string third = dirs[13];
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "btbOK"), Qt::LeftButton); });
    ASSERT_TRUE(dlg.Execute("", false, false, true, "", third));
    EXPECT_EQ(dirs[13], dlg.History()[0]);
    EXPECT_EQ(15, dlg.History().Count());
}

TEST_F(ShellDirDlgTest, SettingsKeepTheHistoryAndTheFilePanel)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    std::ofstream(ini) << "[Directories]\n";
    const std::string folder = MakeDir("data");
    {
        TShellDirDialog dlg;
        dlg.LoadFromIni(ini, "Directories");
        std::string dir = folder;
        WhenModal([](QWidget* w) {
            Find<QCheckBox>(w, "cbxFiles")->setChecked(true);
            QTest::mouseClick(Find<QPushButton>(w, "btbOK"), Qt::LeftButton);
        });
        ASSERT_TRUE(dlg.Execute("", false, true, true, "", dir));
    }
    TMemIniFile file(ini);
    EXPECT_EQ(folder, file.ReadString("Directories", "History0", ""));
    EXPECT_TRUE(file.ReadBool("Directories", "Fileview", false));
    TShellDirDialog again;
    again.LoadFromIni(ini, "Directories");
    EXPECT_EQ(1, again.History().Count());
    EXPECT_TRUE(Find<QCheckBox>(&again, "cbxFiles")->isChecked());
}

TEST_F(ShellDirDlgTest, NewFolderCreatesAllLevelsAndDefinitelyDeletesATreeWithAReadOnlyFile)
{
    const std::string base = MakeDir("base");
    TShellDirDialog dlg;
    dlg.StartAt(base);
    dlg.CreateFolder("a/b");
    EXPECT_TRUE(QDir(QString::fromStdString(base + "/a/b")).exists());
    EXPECT_EQ(base + "/a/b", dlg.SelectedPath());

    std::ofstream(base + "/a/b/file.txt") << "x";
    ::chmod((base + "/a/b/file.txt").c_str(), 0444);
    int dirs = 0, files = 0;
    EXPECT_TRUE(DeleteFolderTree(base + "/a", dirs, files));
    EXPECT_EQ(2, dirs);
    EXPECT_EQ(1, files);
    EXPECT_FALSE(QDir(QString::fromStdString(base + "/a")).exists());

    MakeDir("base/c");
    // the tree learns of the removed and new folders from its own thread: wait until it shows them
    auto* tree = qobject_cast<QFileSystemModel*>(Find<QTreeView>(&dlg, "ShellTreeView")->model());
    ASSERT_NE(nullptr, tree);
    ASSERT_TRUE(WaitFor([&] {
        const QModelIndex parent = tree->index(QString::fromStdString(base));
        if (tree->canFetchMore(parent))
            tree->fetchMore(parent);
        return tree->rowCount(parent) == 1 && tree->index(0, 0, parent).data().toString() == "c";
    }));
    dlg.StartAt(base + "/c");
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "Button0"), Qt::LeftButton); });
    QueueMsgDialogAnswer(mrCancel);
    dlg.DeleteFolder();
    EXPECT_FALSE(QDir(QString::fromStdString(base + "/c")).exists());
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("1 directories with 0 files deleted!", MsgDialogLog()[0].Text);
    EXPECT_EQ(base, dlg.SelectedPath());
}
