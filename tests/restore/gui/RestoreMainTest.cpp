// The restore program's window under the offscreen platform: both pages driven through their
// controls, the run with its questions and messages, and the details dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

#include "foundation/FileUtilsTimes.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "restore/gui/DetailInfoDlg.h"
#include "restore/gui/RestoreMain.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t T0 = 1700000000;

void Click(QWidget* parent, const char* name)
{
    auto* b = Find<QAbstractButton>(parent, name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
}

std::vector<std::string> MessageTexts()
{
    std::vector<std::string> texts;
    for (const auto& r : MsgDialogLog())
        texts.push_back(r.Text);
    return texts;
}

class RestoreMainTest : public SandboxTest
{
protected:
    std::string Ini() const { return sandbox.Path("cfg/QvRestore.ini"); }
    std::string Bak(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "bak" : "bak/" + rel);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }
    void SetUp() override { ClearMsgDialogLog(); }
    void SetTarget(TMainForm& form, const std::string& dir)
    {
        Find<QComboBox>(&form, "cbTarget")->setCurrentText(QString::fromStdString(dir));
    }
};

TEST_F(RestoreMainTest, WholeDirectoryRunRestoresWritesTheLogAndKeepsTheSettings)
{
    BuildTree(Bak(), {{"a.txt", "alpha", T0}, {"sub/b.txt", "beta", T0}, {"sub/old.txt.bak-2023", "v", T0}});
    {
        TMainForm form({"/dir", "/path:" + Bak()}, Ini());
        form.show();
        EXPECT_TRUE(Find<QRadioButton>(&form, "rbDirs")->isChecked());
        EXPECT_EQ(Find<QComboBox>(&form, "edFolder")->currentText().toStdString(), Bak());
        EXPECT_EQ(Find<QStackedWidget>(&form, "pcSource")->currentWidget(), Find<QWidget>(&form, "tsDir"));
        EXPECT_EQ(form.windowTitle().toStdString().substr(0, 25), "Restore files from backup");
        SetTarget(form, Dst());
        Click(&form, "rbBakExclude");
        Find<QLineEdit>(&form, "edtBakSuffix")->setText("bak-#");
        QueueMsgDialogAnswer(mrYes); // create the destination
        QueueMsgDialogAnswer(mrOk);  // the summary
        Click(&form, "btRestore");
        EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha");
        EXPECT_EQ(ReadFileBytes(Dst("sub/b.txt")), "beta");
        EXPECT_FALSE(fs::exists(Dst("sub/old.txt.bak-2023"))) << "a security copy, left out";
        EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Destination directory not found - create?",
                                                            "2 of 3 files restored"}));
        EXPECT_EQ(Find<QPushButton>(&form, "btRestore")->text().toStdString(), "Restore");
        const std::string log = ReadFileBytes(form.LogName());
        EXPECT_NE(log.find("  ==> Start: "), std::string::npos) << log;
        EXPECT_NE(log.find("2 of 3 files restored (No errors)"), std::string::npos) << log;
        form.close();
    }
    // the settings file keeps the mode and the security-copy choice
    TRestoreConfig c = ReadRestoreConfig(Ini(), "", 0);
    EXPECT_EQ(c.Mode, 1);
    EXPECT_EQ(c.BakCopies, 1);
    EXPECT_EQ(c.Target, Dst());
    TMainForm again({}, Ini());
    EXPECT_TRUE(Find<QRadioButton>(&again, "rbBakExclude")->isChecked());
    EXPECT_EQ(Find<QComboBox>(&again, "cbTarget")->currentText().toStdString(), Dst());
}

TEST_F(RestoreMainTest, SelectedFilesOfTheCommandLineArePreselectedAndRestored)
{
    BuildTree(Bak(), {{"a.txt", "alpha", T0}, {"b.txt", "beta", T0}, {"c.txt", "gamma", T0}});
    fs::create_directories(Dst());
    TMainForm form({Bak("a.txt"), "c.txt"}, Ini());
    form.show();
    auto* list = Find<QTreeView>(&form, "fShellListView");
    ASSERT_TRUE(WaitFor([&] { return list->selectionModel()->selectedRows().size() == 2; },
                        std::chrono::seconds(10)));
    EXPECT_TRUE(Find<QRadioButton>(&form, "rbFiles")->isChecked());
    SetTarget(form, Dst());
    QueueMsgDialogAnswer(mrOk);
    Click(&form, "btRestore");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"2 of 2 files restored"});
    EXPECT_TRUE(fs::exists(Dst("a.txt")) && fs::exists(Dst("c.txt")));
    EXPECT_FALSE(fs::exists(Dst("b.txt")));
}

TEST_F(RestoreMainTest, FilesFromScheduleAskBeforeTheyRestore)
{
    const int64_t monday = 1704067200;
    BuildTree(Bak(), {{"BD1/Docs/a.txt", "monday", monday + 100},
                      {"BD2/Docs/a.txt", "wednesday", monday + 2 * 86400}});
    TMainForm form({"/sched", "/path:" + Bak()}, Ini());
    form.show();
    EXPECT_TRUE(Find<QRadioButton>(&form, "rbSched")->isChecked());
    Find<QDateEdit>(&form, "dtpRest")->setDate(QDate(2024, 1, 2));
    SetTarget(form, Dst());
    QueueMsgDialogAnswer(mrYes); // create
    QueueMsgDialogAnswer(mrYes); // 1 file found - start?
    QueueMsgDialogAnswer(mrOk);
    Click(&form, "btRestore");
    EXPECT_EQ(ReadFileBytes(Dst("Docs/a.txt")), "monday");
    ASSERT_EQ(MsgDialogLog().size(), 3u);
    EXPECT_EQ(MsgDialogLog()[1].Text, "Restore files\r\n1 file found - start restore?");
    // a folder inside an archive is no schedule: whole directory instead
    Find<QComboBox>(&form, "edFolder")->setCurrentText(QString::fromStdString(Bak("x.zip/in")));
    QueueMsgDialogAnswer(mrOk);
    Click(&form, "rbSched");
    EXPECT_TRUE(Find<QRadioButton>(&form, "rbDirs")->isChecked());
}

class RestoreZipPageTest : public RestoreMainTest
{
protected:
    std::string MakeArchive()
    {
        BuildTree(sandbox.Path("src"), {{"a.txt", "alpha", T0},
                                        {"docs/b.txt", "beta", T0 + 50},
                                        {"docs/c.txt", "gamma-gamma", T0 + 10},
                                        {"docs/deep/d.txt", "d", T0}});
        const std::string zip = Bak("Backup.zip");
        fs::create_directories(Bak());
        RunShell("cd " + ShellQuote(sandbox.Path("src")) + " && zip -q -X " + ShellQuote(zip) +
                 " a.txt docs/b.txt docs/c.txt docs/deep/d.txt");
        return zip;
    }
};

TEST_F(RestoreZipPageTest, TheBrowserShowsFoldersWithCountsAndRestoresTheCheckedFiles)
{
    VASTREL_REQUIRE_TOOL("zip");
    const std::string zip = MakeArchive();
    TMainForm form({"/zip", "Backup.zip", "/path:" + Bak()}, Ini());
    form.show();
    ASSERT_TRUE(form.ZipPageShown());
    EXPECT_EQ(form.windowTitle().toStdString().substr(0, 30), "Restore files from zip archive");
    auto* tree = Find<QTreeWidget>(&form, "tvFiles");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0).toStdString(), "Backup.zip (1+3)");
    ASSERT_EQ(root->childCount(), 1);
    QTreeWidgetItem* docs = root->child(0);
    EXPECT_EQ(docs->text(0).toStdString(), "docs (2+1)");
    EXPECT_EQ(docs->child(0)->text(0).toStdString(), "deep (1)");
    EXPECT_EQ(Find<QLabel>(&form, "laSelCount")->text().toStdString().substr(0, 15), "4 files selecte");

    // the files of docs, sorted by size twice: descending
    tree->setCurrentItem(docs);
    auto* list = Find<QTreeWidget>(&form, "lvFiles");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    form.SortFileList(2);
    form.SortFileList(2);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "c.txt");
    form.SortFileList(0);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "b.txt");
    // one of two files off: the folder is partly selected
    form.ToggleFileSelection(0);
    EXPECT_EQ(docs->data(0, Qt::UserRole + 2).toInt(), 2);
    EXPECT_EQ(root->data(0, Qt::UserRole + 2).toInt(), 2);
    EXPECT_EQ(form.SelectCount(), 3);
    form.ToggleFileSelection(0);
    EXPECT_EQ(docs->data(0, Qt::UserRole + 2).toInt(), 1);
    // a click on the picture of the deep folder takes it off as a whole
    tree->expandAll();
    QTreeWidgetItem* deep = docs->child(0);
    const QRect r = tree->visualItemRect(deep);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
    EXPECT_EQ(deep->data(0, Qt::UserRole + 2).toInt(), 0);
    EXPECT_EQ(form.SelectCount(), 3);

    SetTarget(form, Dst());
    QueueMsgDialogAnswer(mrOk);
    Click(&form, "btRestore");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"3 files copied"});
    EXPECT_EQ(ReadFileBytes(Dst("docs/c.txt")), "gamma-gamma");
    EXPECT_TRUE(fs::exists(Dst("a.txt")));
    EXPECT_FALSE(fs::exists(Dst("docs/deep/d.txt")));
    // Ctrl+N deselects everything
    QTest::keyClick(&form, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(form.SelectCount(), 0);
    EXPECT_EQ(Find<QLabel>(&form, "laSelCount")->text().toStdString(), "No files selected!");
}

TEST_F(RestoreZipPageTest, AnAesArchiveAsksForThePasswordAndAFailureEndsInTheDetailsBox)
{
    VASTREL_REQUIRE_TOOL("7z");
    BuildTree(sandbox.Path("src"), {{"a.txt", "alpha", T0}, {"b.txt", "beta", T0}});
    const std::string zip = Bak("aes.zip");
    fs::create_directories(Bak());
    RunShell("cd " + ShellQuote(sandbox.Path("src")) + " && 7z a -tzip -mem=AES256 -pPw " + ShellQuote(zip) +
             " a.txt b.txt");
    // a folder holds the name of b.txt: that entry fails
    fs::create_directories(Dst("b.txt/x"));
    TMainForm form({zip}, Ini());
    form.show();
    ASSERT_TRUE(form.ZipPageShown());
    SetTarget(form, Dst());
    Find<QRadioButton>(&form, "rbOverwriteAll")->setChecked(true);
    bool detailsShown = false;
    std::string info;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(w, nullptr);
        Find<QLineEdit>(w, "edtPwd")->setText("Pw");
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
        WhenModal([&](QWidget* d) {
            ASSERT_NE(d, nullptr);
            info = Find<QLabel>(d, "laInfo")->text().toStdString();
            detailsShown = !Find<QListWidget>(d, "lbDetails")->isVisible();
            QTest::mouseClick(Find<QPushButton>(d, "btDetails"), Qt::LeftButton);
            detailsShown = detailsShown && Find<QListWidget>(d, "lbDetails")->isVisible() &&
                           Find<QListWidget>(d, "lbDetails")->count() == 2;
            static_cast<QDialog*>(d)->accept();
        });
    });
    Click(&form, "btRestore");
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha");
    EXPECT_EQ(info, "1 files copied - 1 errors");
    EXPECT_TRUE(detailsShown);
}

TEST_F(RestoreMainTest, FileAssociationsComeAndGoWithTheDesktopEntry)
{
    const std::string apps = sandbox.Path("share/applications");
    ASSERT_TRUE(SetFileAssociations(true, apps, "/opt/vastrel/QvRestore"));
    const std::string entry = ReadFileBytes(apps + "/QvRestore.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/vastrel/QvRestore\" %f"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/gzip;application/x-vastrel-gze;application/x-vastrel-enc;"),
              std::string::npos)
        << entry;
    ASSERT_TRUE(SetFileAssociations(false, apps, ""));
    EXPECT_FALSE(fs::exists(apps + "/QvRestore.desktop"));
    EXPECT_TRUE(SetFileAssociations(false, apps, "")) << "nothing to remove is no failure";
}

// ---- pictures

void ShowSample(TMainForm& form)
{
    form.resize(1000, 720);
    form.show();
    ProcessPendingEvents();
}

void ShowDirectoryPage(const TScreenshotSaver& save, bool files)
{
    Sandbox box;
    BuildTree(box.Path("bak"), {{"Report 2024.docx", std::string(30000, 'r'), T0},
                                {"notes.txt.gz", "n", T0},
                                {"photos/beach.jpg", "j", T0}});
    TMainForm form({files ? "/" : "/dir", "/path:" + box.Path("bak")}, box.Path("cfg/QvRestore.ini"));
    ShowSample(form);
    Find<QCheckBox>(&form, "GzUnPackCB")->setChecked(true);
    auto* list = Find<QTreeView>(&form, "fShellListView");
    if (files) {
        Click(&form, "rbFiles");
        WaitFor([&] { return list->model()->rowCount(list->rootIndex()) >= 2; }, std::chrono::seconds(5));
    }
    save(&form);
}

const TScreenshotShow dirShot("restore-directories",
                              [](const TScreenshotSaver& save) { ShowDirectoryPage(save, false); });
const TScreenshotShow filesShot("restore-directories-files",
                                [](const TScreenshotSaver& save) { ShowDirectoryPage(save, true); });

const TScreenshotShow zipShot("restore-zip", [](const TScreenshotSaver& save) {
    Sandbox box;
    BuildTree(box.Path("src"), {{"a.txt", "alpha", T0},
                                {"docs/b.txt", "beta", T0 + 50},
                                {"docs/c.txt", std::string(5000, 'c'), T0 + 10},
                                {"docs/deep/d.txt", "d", T0}});
    fs::create_directories(box.Path("bak"));
    RunShell("cd " + ShellQuote(box.Path("src")) + " && zip -q -X " + ShellQuote(box.Path("bak/Backup.zip")) +
             " a.txt docs/b.txt docs/c.txt docs/deep/d.txt");
    TMainForm form({box.Path("bak/Backup.zip")}, box.Path("cfg/QvRestore.ini"));
    ShowSample(form);
    auto* tree = Find<QTreeWidget>(&form, "tvFiles");
    tree->expandAll();
    if (tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 0)
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    form.ToggleFileSelection(0);
    save(&form);
});

const TScreenshotShow detailsShot("restore-details", [](const TScreenshotSaver& save) {
    TStringList details;
    details.Add("Error restoring file: /backup/docs/report.docx.gze");
    details.Add("   Error - The password entered is not valid (-> Decrypt)");
    details.Add("Error restoring file: /backup/photos/beach.jpg");
    details.Add("   Error - Could not create file: \"/restore/photos/beach.jpg\" (-> Copy)");
    WhenModal([&](QWidget* w) {
        if (!w)
            return;
        QTest::mouseClick(Find<QPushButton>(w, "btDetails"), Qt::LeftButton);
        ProcessPendingEvents();
        save(w);
        static_cast<QDialog*>(w)->accept();
    });
    TDetailInfoDialog dialog;
    dialog.Execute(QPoint(-1, -1), "Restore files from backup", "3 files copied - 2 errors", iiError,
                   details);
});

} // namespace
