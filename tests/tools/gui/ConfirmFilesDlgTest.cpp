#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "archive/EngineFs.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"
#include "tools/gui/ConfirmFilesDlg.h"

namespace {

constexpr TDateTime Day = 46000.5;

// A restore list as a scan makes it: root, then each directory followed by its files.
//   /backup/set   (a.txt, b.txt)
//     docs        (report.doc)
//       old       (draft.txt)
//     photos      (holiday.jpg, compressed and encrypted)
//     nofiles     (no files of its own)
//       deep      (x.txt)
void FillSample(TFileTransferList& list)
{
    list.AddItem("/backup/set", ftRoot, "/backup/set", "/home/u/set", Day, 0);
    list.AddAndSelectItem("./", ftDir, "/backup/set", "/home/u/set", Day, 0);
    list.AddItem("b.txt", ftFile, "/backup/set/b.txt", "/home/u/set/b.txt", Day + 2, 0, 0, 300, 300, false,
                 false, false, true);
    list.AddItem("a.txt", ftFile, "/backup/set/a.txt", "/home/u/set/a.txt", Day + 1, 0, 0, 100, 100, false,
                 false, false, true);
    list.AddAndSelectItem("./docs", ftDir, "/backup/set/docs", "/home/u/set/docs", Day, 0);
    list.AddItem("report.doc", ftFile, "/backup/set/docs/report.doc", "/home/u/set/docs/report.doc", Day, 0,
                 0, 1000, 400, true, false, false, true);
    list.AddAndSelectItem("./docs/old", ftDir, "/backup/set/docs/old", "/home/u/set/docs/old", Day, 0);
    list.AddItem("draft.txt", ftFile, "/backup/set/docs/old/draft.txt", "/home/u/set/docs/old/draft.txt", Day,
                 0, 0, 10, 10, false, false, false, true);
    list.AddAndSelectItem("./photos", ftDir, "/backup/set/photos", "/home/u/set/photos", Day, 0);
    list.AddItem("holiday.jpg", ftFile, "/backup/set/photos/holiday.jpg.gze",
                 "/home/u/set/photos/holiday.jpg", Day, 0, 0, 5000, 4000, true, false, true, true);
    list.AddAndSelectItem("./nofiles", ftDir, "/backup/set/nofiles", "/home/u/set/nofiles", Day, 0);
    list.AddAndSelectItem("./nofiles/deep", ftDir, "/backup/set/nofiles/deep", "/home/u/set/nofiles/deep",
                          Day, 0);
    list.AddItem("x.txt", ftFile, "/backup/set/nofiles/deep/x.txt", "/home/u/set/nofiles/deep/x.txt", Day, 0,
                 0, 1, 1, false, false, false, true);
}

int Count(const TFileTransferList& list)
{
    int n = 0;
    for (int i = 0; i < list.Count(); ++i)
        n += IsFileEntry(list.FileType(i)) ? 1 : 0;
    return n;
}

TConfirmRequest Request(TConfMode mode, int found)
{
    TConfirmRequest r;
    r.CMode = mode;
    r.ContextMode = cmAll;
    r.Taskname = "Documents";
    r.Source = "/backup/set/";
    r.sDest = "to source directory (/home/u/set)";
    r.sAlter = "Age: all files";
    r.sFilter = "Filter: *";
    r.Anzahl = found;
    return r;
}

QTreeWidget* Tree(QWidget* w)
{
    return Find<QTreeWidget>(w, "tvDirs");
}
QTableView* Rows(QWidget* w)
{
    return Find<QTableView>(w, "lvFiles");
}

QTreeWidgetItem* NodeByName(QWidget* w, const QString& prefix)
{
    QTreeWidgetItem* found = nullptr;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* n) {
        if (!found && n->text(0).startsWith(prefix + " ("))
            found = n;
        for (int c = 0; c < n->childCount(); ++c)
            walk(n->child(c));
    };
    for (int i = 0; i < Tree(w)->topLevelItemCount(); ++i)
        walk(Tree(w)->topLevelItem(i));
    return found;
}

void ClickNodeImage(QWidget* w, QTreeWidgetItem* node)
{
    Tree(w)->expandAll();
    Tree(w)->scrollToItem(node);
    const QRect r = Tree(w)->visualItemRect(node);
    QTest::mouseClick(Tree(w)->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
}

void ClickNode(QWidget* w, QTreeWidgetItem* node)
{
    Tree(w)->setCurrentItem(node);
}

QStringList ShownNames(QWidget* w)
{
    QStringList names;
    auto* m = Rows(w)->model();
    for (int r = 0; r < m->rowCount(); ++r)
        names << m->index(r, 0).data().toString();
    return names;
}

void ClickRow(QWidget* w, const QString& name)
{
    auto* view = Rows(w);
    const int r = static_cast<int>(ShownNames(w).indexOf(name));
    ASSERT_GE(r, 0) << name.toStdString();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(r, 1)).center());
}

void ClickHeader(QWidget* w, int column)
{
    QHeaderView* h = Rows(w)->horizontalHeader();
    const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
}

const TScreenshotShow confirmShot("confirmfiles", [](const TScreenshotSaver& save) {
    TFileTransferList list;
    FillSample(list);
    list.SetSelected(3, false);
    WhenModal([&](QWidget* w) {
        if (!w)
            return;
        Tree(w)->expandAll();
        ClickNode(w, Tree(w)->topLevelItem(0));
        save(w);
        static_cast<QDialog*>(w)->reject();
    });
    TConfirmFiles dlg;
    dlg.Execute(Request(cmRestore, Count(list)), list);
});

const TScreenshotShow confirmDirsShot("confirmfiles-dirs", [](const TScreenshotSaver& save) {
    TFileTransferList list;
    FillSample(list);
    WhenModal([&](QWidget* w) {
        if (!w)
            return;
        save(w);
        static_cast<QDialog*>(w)->reject();
    });
    TConfirmFiles dlg;
    dlg.Execute(Request(cmCleanUpDirs, 6), list);
});

class ConfirmFilesDlgTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        ClearMsgDialogLog();
    }
    TFileTransferList List;
    TConfirmFiles Dlg;
};

TEST_F(ConfirmFilesDlgTest, TreeShowsEveryDirectoryWithItsOwnAndTotalCounts)
{
    FillSample(List);
    QStringList texts, rootFiles;
    QString title, source, question, count, size;
    WhenModal([&](QWidget* w) {
        std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* n, int depth) {
            texts << QString(depth * 2, ' ') + n->text(0);
            for (int c = 0; c < n->childCount(); ++c)
                walk(n->child(c), depth + 1);
        };
        walk(Tree(w)->topLevelItem(0), 0);
        rootFiles = ShownNames(w);
        title = w->windowTitle();
        source = Find<QLabel>(w, "laSource")->text();
        question = Find<QLabel>(w, "laQuestion")->text();
        count = Find<QLabel>(w, "laCount")->text();
        size = Find<QLabel>(w, "laSize")->text();
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_FALSE(Dlg.Execute(Request(cmRestore, Count(List)), List));
    EXPECT_EQ(QStringList({"/backup/set (2+4)", "  docs (1+1)", "    old (1)", "  photos (1)",
                           "  nofiles (0+1)", "    deep (1)"}),
              texts);
    EXPECT_EQ(QStringList({"b.txt", "a.txt"}), rootFiles); // scan order
    EXPECT_EQ("Restore files [Documents ]", title);
    EXPECT_EQ("/backup/set", source);
    EXPECT_EQ("Should all selected files be restored?", question);
    EXPECT_EQ("6 files selected", count);
    EXPECT_EQ(0, size.indexOf("Total: "));
}

TEST_F(ConfirmFilesDlgTest, SelectionStatesFollowFilesAndSubdirectories)
{
    FillSample(List);
    struct Seen
    {
        TNodeState root, docs, old, nofiles;
    };
    std::vector<Seen> seen;
    QString countAfter;
    WhenModal([&](QWidget* w) {
        auto state = [&](const char* name) { return TConfirmFiles::NodeState(NodeByName(w, name)); };
        auto snap = [&] {
            seen.push_back({TConfirmFiles::NodeState(Tree(w)->topLevelItem(0)), state("docs"), state("old"),
                            state("nofiles")});
        };
        // 0: the only file of a leaf directory deselected: the leaf is unselected, its parents partly.
        ClickNode(w, NodeByName(w, "old"));
        ClickRow(w, "draft.txt");
        snap();
        // 1: the last selected file of a directory with subdirectories: partly, not unselected.
        ClickNode(w, NodeByName(w, "docs"));
        ClickRow(w, "report.doc");
        snap();
        // 2: a directory without own files whose subdirectories are all deselected stays partly.
        ClickNodeImage(w, NodeByName(w, "deep"));
        snap();
        // 3: a branch toggled on from partly selects everything below it.
        ClickNodeImage(w, NodeByName(w, "docs"));
        snap();
        // 4: and off again.
        ClickNodeImage(w, NodeByName(w, "docs"));
        snap();
        countAfter = Find<QLabel>(w, "laCount")->text();
        QTest::mouseClick(Find<QPushButton>(w, "btYes"), Qt::LeftButton);
    });
    ASSERT_TRUE(Dlg.Execute(Request(cmRestore, Count(List)), List));
    ASSERT_EQ(5u, seen.size());
    EXPECT_EQ(nsUnselected, seen[0].old);
    EXPECT_EQ(nsPartly, seen[0].docs);
    EXPECT_EQ(nsPartly, seen[0].root);
    EXPECT_EQ(nsPartly, seen[1].docs);
    EXPECT_EQ(nsPartly, seen[2].nofiles);
    EXPECT_EQ(nsSelected, seen[3].docs);
    EXPECT_EQ(nsSelected, seen[3].old);
    EXPECT_EQ(nsUnselected, seen[4].docs);
    EXPECT_EQ(nsUnselected, seen[4].old);
    EXPECT_EQ(nsPartly, seen[4].root);
    EXPECT_EQ("3 files selected", countAfter);

    // What the view left unticked is what the run will skip.
    std::vector<std::string> selected;
    for (int i = 0; i < List.Count(); ++i)
        if (IsFileEntry(List.FileType(i)) && List.Selected(i))
            selected.push_back(List.Strings(i));
    EXPECT_EQ((std::vector<std::string>{"b.txt", "a.txt", "holiday.jpg"}), selected);
    EXPECT_FALSE(List.Selected(6));  // ./docs/old
    EXPECT_FALSE(List.Selected(11)); // ./nofiles/deep
}

TEST_F(ConfirmFilesDlgTest, StartingStatesFollowTheFlagsTheListComesWith)
{
    FillSample(List);
    List.SetSelected(3, false);  // a.txt: the root folder keeps one of two files
    List.SetSelected(12, false); // x.txt: the only file below nofiles
    TNodeState root = nsSelected, nofiles = nsSelected, deep = nsSelected, docs = nsUnselected;
    WhenModal([&](QWidget* w) {
        root = TConfirmFiles::NodeState(Tree(w)->topLevelItem(0));
        nofiles = TConfirmFiles::NodeState(NodeByName(w, "nofiles"));
        deep = TConfirmFiles::NodeState(NodeByName(w, "deep"));
        docs = TConfirmFiles::NodeState(NodeByName(w, "docs"));
        static_cast<QDialog*>(w)->reject();
    });
    Dlg.Execute(Request(cmRestore, Count(List)), List);
    EXPECT_EQ(nsPartly, root);
    EXPECT_EQ(nsPartly, nofiles); // no files of its own, its only subdirectory deselected
    EXPECT_EQ(nsUnselected, deep);
    EXPECT_EQ(nsSelected, docs);
}

TEST_F(ConfirmFilesDlgTest, YesWithoutSelectedFilesIsRefusedAndTheDialogStays)
{
    FillSample(List);
    bool stillOpen = false;
    WhenModal([&](QWidget* w) {
        QTest::mouseClick(Find<QPushButton>(w, "btDeselectAll"), Qt::LeftButton);
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(Find<QPushButton>(w, "btYes"), Qt::LeftButton);
        stillOpen = w->isVisible();
        QTest::mouseClick(Find<QPushButton>(w, "btNo"), Qt::LeftButton);
    });
    EXPECT_FALSE(Dlg.Execute(Request(cmRestore, Count(List)), List));
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("No files selected!", MsgDialogLog()[0].Text);
}

TEST_F(ConfirmFilesDlgTest, NothingFoundIsReportedWithoutShowingTheView)
{
    FillSample(List);
    QueueMsgDialogAnswer(mrOk);
    EXPECT_FALSE(Dlg.Execute(Request(cmRestore, 0), List));
    QueueMsgDialogAnswer(mrOk);
    EXPECT_FALSE(Dlg.Execute(Request(cmCleanUpDirs, 0), List));
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("No matching files found!", MsgDialogLog()[0].Text);
    EXPECT_EQ("No matching directories found!", MsgDialogLog()[1].Text);
}

TEST_F(ConfirmFilesDlgTest, HeadersSortTheShownFilesAndToggleTheDirection)
{
    List.AddItem("/b", ftRoot, "/b", "/r", Day, 0);
    List.AddAndSelectItem("./", ftDir, "/b", "/r", Day, 0);
    List.AddItem("\xC3\xA9t\xC3\xA9.txt", ftFile, "/b/e", "/r/e", Day + 3, 0, 0, 30, 1, false, false, false,
                 true);
    List.AddItem("beta.txt", ftFile, "/b/b", "/r/b", Day + 1, 0, 0, 10, 1, false, false, false, true);
    List.AddItem("Alpha.txt", ftFile, "/b/a", "/r/a", Day + 2, 0, 0, 20, 1, false, false, false, true);
    std::vector<QStringList> orders;
    WhenModal([&](QWidget* w) {
        ClickHeader(w, 0); // name is already ascending: descending now
        orders.push_back(ShownNames(w));
        ClickHeader(w, 1);
        orders.push_back(ShownNames(w));
        ClickHeader(w, 1);
        orders.push_back(ShownNames(w));
        ClickHeader(w, 0);
        orders.push_back(ShownNames(w));
        ClickHeader(w, 2);
        orders.push_back(ShownNames(w));
        static_cast<QDialog*>(w)->reject();
    });
    Dlg.Execute(Request(cmRestore, 3), List);
    ASSERT_EQ(5u, orders.size());
    const QString e = QString::fromUtf8("\xC3\xA9t\xC3\xA9.txt");
    EXPECT_EQ(QStringList({e, "beta.txt", "Alpha.txt"}), orders[0]);
    EXPECT_EQ(QStringList({"beta.txt", "Alpha.txt", e}), orders[1]); // oldest first
    EXPECT_EQ(QStringList({e, "Alpha.txt", "beta.txt"}), orders[2]); // newest first
    EXPECT_EQ(QStringList({"Alpha.txt", "beta.txt", e}), orders[3]);
    EXPECT_EQ(QStringList({"beta.txt", "Alpha.txt", e}), orders[4]); // restored size, smallest first
}

TEST_F(ConfirmFilesDlgTest, SearchFindsFilesAndDirectoriesByContainedTextOrMask)
{
    FillSample(List);
    QString firstNode, secondNode, dirNode, fileHit;
    WhenModal([&](QWidget* w) {
        auto* edit = Find<QLineEdit>(w, "edSearch");
        edit->setText("txt"); // no wildcard: any name that contains it
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        firstNode = Tree(w)->currentItem()->text(0);
        QTest::mouseClick(Find<QPushButton>(w, "btFindNext"), Qt::LeftButton); // a.txt, same folder
        QTest::mouseClick(Find<QPushButton>(w, "btFindNext"), Qt::LeftButton); // draft.txt
        secondNode = Tree(w)->currentItem()->text(0);
        const QModelIndex cur = Rows(w)->currentIndex();
        fileHit = cur.isValid() ? cur.sibling(cur.row(), 0).data().toString() : QString();
        Find<QRadioButton>(w, "rbDirs")->setChecked(true);
        edit->setText("p*");
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        dirNode = Tree(w)->currentItem()->text(0);
        edit->setText("nothing-like-this");
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(Find<QPushButton>(w, "btFind"), Qt::LeftButton);
        static_cast<QDialog*>(w)->reject();
    });
    Dlg.Execute(Request(cmRestore, Count(List)), List);
    EXPECT_EQ("/backup/set (2+4)", firstNode);
    EXPECT_EQ("old (1)", secondNode);
    EXPECT_EQ("draft.txt", fileHit);
    EXPECT_EQ("photos (1)", dirNode);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("No matching directories found!", MsgDialogLog()[0].Text);
}

TEST_F(ConfirmFilesDlgTest, DirectoryModeListsAllDirectoriesAndCountsThem)
{
    FillSample(List);
    QStringList names;
    QString count, title, size;
    bool treeHidden = false;
    WhenModal([&](QWidget* w) {
        names = ShownNames(w);
        treeHidden = !Tree(w)->isVisible();
        ClickRow(w, "./docs/old");
        count = Find<QLabel>(w, "laCount")->text();
        size = Find<QLabel>(w, "laSize")->text();
        title = w->windowTitle();
        QTest::mouseClick(Find<QPushButton>(w, "btYes"), Qt::LeftButton);
    });
    EXPECT_TRUE(Dlg.Execute(Request(cmCleanUpDirs, 6), List));
    EXPECT_EQ(QStringList({"./", "./docs", "./docs/old", "./photos", "./nofiles", "./nofiles/deep"}), names);
    EXPECT_TRUE(treeHidden);
    EXPECT_EQ("5 directories selected", count);
    EXPECT_EQ("", size);
    EXPECT_EQ("Delete directories [Documents ]", title);
    EXPECT_FALSE(List.Selected(6));
}

TEST_F(ConfirmFilesDlgTest, ViewedCompressedFilesAreUnpackedAndRemovedWhenTheViewCloses)
{
    VASTREL_REQUIRE_TOOL("gzip");
    const std::string stored = sandbox.Path("backup/note.txt.gz");
    WriteFileBytes(sandbox.Path("src/note.txt"), "hello from the backup\n");
    WriteFileBytes(stored, "");
    ASSERT_EQ(0, std::system(("gzip -c '" + sandbox.Path("src/note.txt") + "' > '" + stored + "'").c_str()));
    List.AddItem("/b", ftRoot, sandbox.Path("backup"), "/r", Day, 0);
    List.AddAndSelectItem("./", ftDir, sandbox.Path("backup"), "/r", Day, 0);
    List.AddItem("note.txt", ftFile, stored, "/r/note.txt", Day, 0, 0, 22, 40, true, false, false, true);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    std::filesystem::create_directories(sandbox.Path("tmp"));
    setenv("TMPDIR", sandbox.Path("tmp").c_str(), 1);
    const std::string unpacked = EngineFs::UserTempDir() + "note.txt";
    std::string contentWhileOpen;
    WhenModal([&](QWidget* w) {
        auto* view = Rows(w);
        view->setCurrentIndex(view->model()->index(0, 0));
        Find<QAction>(w, "pmiShow")->trigger();
        contentWhileOpen = ReadFileBytes(unpacked);
        static_cast<QDialog*>(w)->reject();
    });
    Dlg.Viewer = "/bin/true"; // a viewer that opens nothing
    Dlg.Execute(Request(cmRestore, 1), List);
    if (oldTmp)
        setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ("hello from the backup\n", contentWhileOpen);
    EXPECT_FALSE(std::filesystem::exists(unpacked));
}

} // namespace
