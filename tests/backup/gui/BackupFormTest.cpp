#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/gui/BackupForm.h"
#include "backup/gui/EditorDialogs.h"
#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "platform/DesktopEntry.h"
#include "platform/XdgDirs.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

// Folder choosers that are cancelled at once.
class TCancelledChoosers : public TEditorDialogs
{
public:
    using TEditorDialogs::TEditorDialogs;
    bool ChooseFolder(const std::string&, const std::string&, std::string&) override { return false; }
};

// The form with its page handlers recorded instead of carried out.
class TTestForm : public TBackupForm
{
public:
    TTestForm() { SetDialogs(std::make_unique<TCancelledChoosers>(this)); }
    using TBackupForm::BuZiel;
    using TBackupForm::cbCopySummary;
    using TBackupForm::cbCreationTime;
    using TBackupForm::edFolder;
    using TBackupForm::FilterListe;
    using TBackupForm::FormKeyDown;
    using TBackupForm::paDriveId;
    using TBackupForm::pmHelper;
    using TBackupForm::pmMain;
    using TBackupForm::rbDrives;
    using TBackupForm::rbExcludeDirs;
    std::vector<std::string> Calls;
    bool RealPreview = false;

protected:
    void ApplyDirFilterBtnClick() override { Calls.push_back("ApplyDirFilter"); }
    void pmiBackupPreviewClick() override
    {
        Calls.push_back("BackupPreview");
        if (RealPreview)
            TBackupForm::pmiBackupPreviewClick();
    }
    void EditDirFilterBtnClick() override { Calls.push_back("EditDirFilter"); }
    void FilterBtnClick() override { Calls.push_back("Filter"); }
    void ExtFilterBtnClick() override { Calls.push_back("ExtFilter"); }
    void FilterListeChange() override { Calls.push_back("FilterListeChange"); }
    void UpdateItemClick() override { Calls.push_back("Update"); }
    void paDriveIdClick() override { Calls.push_back("DriveId"); }
    void ShowFileSettings() override { Calls.push_back("FileSettings"); }
    void OpenHelp(const std::string& topic) override { Calls.push_back("help " + topic); }
};

const TScreenshotShow backupFormShot("backupform", [](const TScreenshotSaver& save) {
    TBackupForm form;
    form.Task.ActTaskName = "/home/user/Tasks/Documents.buj";
    form.Task.EditStatus = esSaved;
    form.Task.BuZiel = "/media/backup/Vastrel";
    for (const char* path : {"/home/user/Documents/", "/home/user/Pictures/", "/srv/projects/"}) {
        auto entry = std::make_unique<TExtensionList>(form.Task.NewPeriod, sdmNormal);
        entry->SPath = path;
        entry->ICount = 1234;
        entry->IBytes = int64_t(5) << 30;
        entry->Selected = true;
        form.Task.Folders.Add(std::move(entry));
    }
    form.ShowTask();
    form.show();
    save(&form);
});

void AddEntry(TBackupForm& form, const std::string& path, TSubDirMode mode = sdmNormal)
{
    auto entry = std::make_unique<TExtensionList>(form.Task.NewPeriod, mode);
    entry->SPath = path;
    form.Task.Folders.Add(std::move(entry));
}

class BackupFormTest : public SandboxTest
{
protected:
    void TearDown() override
    {
        SetCatalogue(nullptr);
        ClearMsgDialogLog();
    }
};

TEST_F(BackupFormTest, StartsWithTheEditorsValuesBeforeAnyTask)
{
    TTestForm form;
    const TTaskSettings& t = form.Task;
    EXPECT_EQ(4194304, t.TaskBufferSize);
    EXPECT_EQ(60, t.CopyTimeout);
    EXPECT_EQ(5, t.TimeOutMax);
    EXPECT_EQ(1, t.BackupCount);
    EXPECT_TRUE(t.IgnoreJunctions);
    EXPECT_FALSE(t.UseJunctions);
    EXPECT_EQ(mmNone, t.MailMode);
    EXPECT_EQ(fsNotAvail, t.TargetType);
    EXPECT_EQ(tmAll, t.NewPeriod.Mode);
    EXPECT_EQ(0, t.NewPeriod.Days);
    EXPECT_DOUBLE_EQ(0.25, t.NewPeriod.DayTime);
    EXPECT_DOUBLE_EQ(Date() - 1461, t.NewPeriod.Dat1);
    EXPECT_DOUBLE_EQ(Date(), t.NewPeriod.Dat2);
    EXPECT_EQ(tmOff, t.CmdTmPeriod.Mode);
    EXPECT_EQ(GetDriveDirPrefix(), t.DriveId);
    EXPECT_TRUE(t.AktNoComp.Sorted);
    EXPECT_EQ(-1, form.LastIndex);
    EXPECT_EQ(-1, form.CmdProtMode);
    EXPECT_TRUE(form.DoBackup);
    EXPECT_TRUE(form.FirstInit);
    EXPECT_EQ(25, form.TaskList.MaxLen());
    EXPECT_EQ(50, form.UForm.FormPos.xprim);
    EXPECT_EQ(50, form.UForm.FormPos.ymult);
    EXPECT_TRUE(form.UForm.UseDefault);
    EXPECT_GT(form.Pcw, 0);
    EXPECT_EQ(5, QApplication::startDragDistance());
    EXPECT_TRUE(form.cbCreationTime->isChecked());
    EXPECT_FALSE(form.cbCopySummary->isChecked());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsDirectories);
    EXPECT_EQ(QString::fromStdString("Drive identifier: " + t.DriveId), form.paDriveId->text());
    EXPECT_TRUE(
        form.rbDrives->toolTip().endsWith(QString::fromStdString("\r\nDrive identifier = " + t.DriveId)));
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral("Configure backup task")));
    EXPECT_EQ(QStringLiteral("New backup task"), Find<QLabel>(&form, "laTask")->text());
}

struct KeyCase
{
    int Key;
    Qt::KeyboardModifiers Mods;
    const char* MainPage;
    const char* SelectionPage; // nullptr: not checked
    const char* ToolPage;
    std::vector<std::string> Calls;
};

TEST_F(BackupFormTest, ShortcutKeysChoosePagesAndCallTheirHandlers)
{
    const Qt::KeyboardModifiers c = Qt::ControlModifier, cs = Qt::ControlModifier | Qt::ShiftModifier;
    const KeyCase cases[] = {
        {Qt::Key_A, cs, "tsDirectories", "tsSubDirs", nullptr, {"ApplyDirFilter"}},
        {Qt::Key_B, cs, "tsDirectories", "tsSubDirs", nullptr, {"BackupPreview"}},
        {Qt::Key_D, cs, "tsDirectories", "tsSubDirs", nullptr, {"EditDirFilter"}},
        {Qt::Key_F, cs, "tsDirectories", "tsFiles", nullptr, {"Filter"}},
        {Qt::Key_Y, cs, "tsDirectories", "tsTypes", "tsToolTypes", {"ExtFilter", "FilterListeChange"}},
        {Qt::Key_F, c | Qt::AltModifier, "tsDirectories", "tsFiles", nullptr, {"FileSettings"}},
        {Qt::Key_O, c, "tsOptions", nullptr, nullptr, {}},
        {Qt::Key_S, c, "tsSettings", nullptr, nullptr, {}},
        {Qt::Key_D, c, "tsDirectories", "tsSubDirs", "tsToolDirs", {}},
        {Qt::Key_T, c, "tsDirectories", nullptr, "tsToolDirs", {}},
        {Qt::Key_U, c, "tsDirectories", "tsSubDirs", nullptr, {}},
        {Qt::Key_Y, c, "tsDirectories", "tsTypes", "tsToolTypes", {"FilterListeChange"}},
        {Qt::Key_F5, Qt::ShiftModifier | Qt::AltModifier, nullptr, nullptr, nullptr, {"Update"}},
        {Qt::Key_F1, Qt::NoModifier, nullptr, nullptr, nullptr, {"help qv-settings.html"}},
        {Qt::Key_F2, Qt::NoModifier, nullptr, nullptr, nullptr, {"help qv-task.html"}},
        // Ctrl with another key and function keys with Ctrl do nothing.
        {Qt::Key_Q, c, nullptr, nullptr, nullptr, {}},
        {Qt::Key_F5, c, nullptr, nullptr, nullptr, {}},
    };
    TTestForm form;
    AddEntry(form, sandbox.Path() + "/");
    form.ShowTask();
    form.show();
    for (const KeyCase& k : cases) {
        SCOPED_TRACE(QKeySequence(k.Key | k.Mods).toString().toStdString());
        form.Calls.clear();
        form.pcMain->setCurrentWidget(form.tsSettings);
        form.pcSelection->setCurrentWidget(form.tsSubDirs);
        form.pcTools->setCurrentIndex(0);
        QTest::keyClick(form.SelectedDirBox, static_cast<Qt::Key>(k.Key), k.Mods);
        const std::string main = form.pcMain->currentWidget()->objectName().toStdString();
        EXPECT_EQ(k.MainPage ? k.MainPage : "tsSettings", main);
        if (k.SelectionPage) {
            EXPECT_EQ(k.SelectionPage, form.pcSelection->currentWidget()->objectName().toStdString());
        }
        if (k.ToolPage) {
            EXPECT_EQ(k.ToolPage, form.pcTools->currentWidget()->objectName().toStdString());
        }
        EXPECT_EQ(k.Calls, form.Calls);
    }
}

TEST_F(BackupFormTest, TypesKeysDoNothingWhenTheLineSelectsSingleFiles)
{
    TTestForm form;
    AddEntry(form, "/data/", sdmFiles);
    form.ShowTask();
    form.show();
    EXPECT_FALSE(form.pcSelection->isTabVisible(form.pcSelection->indexOf(form.tsTypes)));
    for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(Qt::ControlModifier),
                                       Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
        form.Calls.clear();
        form.pcMain->setCurrentWidget(form.tsOptions);
        QTest::keyClick(form.SelectedDirBox, Qt::Key_Y, mods);
        EXPECT_EQ(form.tsDirectories, form.pcMain->currentWidget());
        EXPECT_NE(form.tsTypes, form.pcSelection->currentWidget());
        EXPECT_TRUE(form.Calls.empty());
    }
}

TEST_F(BackupFormTest, F11ShowsHintsEnterActsOnTheDriveIdAndMenusOpen)
{
    TTestForm form;
    AddEntry(form, "/data/");
    form.ShowTask();
    auto* tree = new QTreeView(form.tsToolDirs);
    tree->setToolTip(QStringLiteral("tree hint"));
    form.show();
    ClearMsgDialogLog();
    QueueMsgDialogAnswer(mrOk);
    QueueMsgDialogAnswer(mrOk);
    QueueMsgDialogAnswer(mrOk);
    // A hint, a tree view (nothing), a control without a hint (nothing), the source list.
    form.BuZiel->setFocus();
    QTest::keyClick(form.BuZiel->lineEdit(), Qt::Key_F11, Qt::ShiftModifier);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F11);
    form.FilterListe->setFocus();
    QTest::keyClick(form.FilterListe, Qt::Key_F11);
    form.SelectedDirBox->item(0)->setCheckState(Qt::Checked);
    form.SelectedDirBox->setFocus();
    QTest::keyClick(form.SelectedDirBox, Qt::Key_F11);
    form.SelectedDirBox->item(0)->setCheckState(Qt::Unchecked);
    QTest::keyClick(form.SelectedDirBox, Qt::Key_F11);
    ASSERT_EQ(3u, MsgDialogLog().size());
    EXPECT_EQ("Backup destination directory", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtCustom, MsgDialogLog()[0].DlgType);
    EXPECT_EQ("Backup of directory enabled", MsgDialogLog()[1].Text);
    EXPECT_EQ("Backup of directory disabled", MsgDialogLog()[2].Text);

    form.paDriveId->setFocus();
    QTest::keyClick(form.paDriveId, Qt::Key_Return);
    EXPECT_EQ(std::vector<std::string>{"DriveId"}, form.Calls);

    QTest::keyClick(form.SelectedDirBox, Qt::Key_F10);
    EXPECT_TRUE(form.pmMain->isVisible());
    form.pmMain->close();
    form.pmHelper->addAction(QStringLiteral("Jump"));
    QTest::keyClick(form.SelectedDirBox, Qt::Key_F12);
    EXPECT_TRUE(form.pmHelper->isVisible());
    form.pmHelper->close();
}

TEST_F(BackupFormTest, HelpTopicFollowsThePageOnView)
{
    TTestForm form;
    AddEntry(form, "/data/");
    form.ShowTask();
    form.show();
    struct Case
    {
        QWidget* Main;
        QWidget* Selection;
        bool FocusSelection;
        bool Ftp;
        const char* Topic;
    };
    const Case cases[] = {
        {form.tsSettings, nullptr, false, false, "qv-settings.html"},
        {form.tsOptions, nullptr, false, false, "qv-options.html"},
        {form.tsDirectories, form.tsFiles, true, false, "qv-selections.html#filesel"},
        {form.tsDirectories, form.tsSubDirs, true, false, "qv-selections.html#subdir"},
        {form.tsDirectories, form.tsSubDirs, false, true, "qv-task.html#ftp"},
        {form.tsDirectories, form.tsSubDirs, false, false, "qv-task.html#budialog"},
    };
    for (const Case& c : cases) {
        form.Calls.clear();
        form.pcMain->setCurrentWidget(c.Main);
        if (c.Selection)
            form.pcSelection->setCurrentWidget(c.Selection);
        form.Task.BuFtp = c.Ftp;
        QWidget* target = c.FocusSelection ? static_cast<QWidget*>(form.rbExcludeDirs) : form.SelectedDirBox;
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F1);
        EXPECT_EQ(std::vector<std::string>{std::string("help ") + c.Topic}, form.Calls);
    }
}

TEST_F(BackupFormTest, ControlsEditTheTaskModel)
{
    TTestForm form;
    form.SetEditStatus(esSaved);
    form.cbCopySummary->click();
    EXPECT_TRUE(form.Task.cbCopySummary);
    EXPECT_EQ(esChanged, form.Task.EditStatus);
    auto* mode = Find<QComboBox>(&form, "BuModeCB");
    mode->setCurrentIndex(2);
    emit mode->activated(2);
    EXPECT_TRUE(form.Task.UseArchivCB);
    EXPECT_TRUE(form.Task.ClearDest);
    form.BuZiel->setEditText(QStringLiteral("/mnt/backup"));
    EXPECT_EQ("/mnt/backup", form.Task.BuZiel);
    AddEntry(form, "/data/");
    form.ShowTask();
    form.SelectedDirBox->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(form.Task.Folders[0].Selected);
    EXPECT_TRUE(form.rbExcludeDirs->isChecked());
    Find<QRadioButton>(&form, "rbIncludeDirs")->click();
    EXPECT_TRUE(form.Task.Folders[0].IncludeDirs);
    Find<QRadioButton>(&form, "IncludeRB")->click();
    EXPECT_EQ(buInclude, form.Task.Folders[0].InclMode);
    // Loading does not mark the task changed.
    form.SetEditStatus(esSaved);
    form.Task.UpdateBusy = true;
    form.cbCopySummary->click();
    EXPECT_EQ(esSaved, form.Task.EditStatus);
}

TEST_F(BackupFormTest, DefaultPositionAndSizeCommands)
{
    TTestForm form;
    int positions = 0, sizes = 0;
    form.ResetProgressPosition = [&] { ++positions; };
    form.ResetProgressSize = [&] { ++sizes; };
    form.UForm.FormPos.xprim = 700;
    form.UForm.FormPos.ymult = 300;
    form.UForm.ws = wsMaximized;
    form.UForm.UseDefault = false;
    form.SetDefaultPos();
    EXPECT_EQ(50, form.UForm.FormPos.xprim);
    EXPECT_EQ(50, form.UForm.FormPos.ymult);
    EXPECT_EQ(wsNormal, form.UForm.ws);
    EXPECT_FALSE(form.UForm.UseDefault);
    EXPECT_EQ(1, positions);
    form.UForm.ws = wsMaximized;
    form.SetDefaultSize();
    EXPECT_EQ(wsNormal, form.UForm.ws);
    EXPECT_TRUE(form.UForm.UseDefault);
    EXPECT_EQ(1, sizes);
}

TEST_F(BackupFormTest, ReadPerMilleTakesOnlyNumbersBeforeTheSign)
{
    EXPECT_EQ(455, ReadPerMille("455\xE2\x80\xB0"));
    EXPECT_EQ(455, ReadPerMille(" 455 \xE2\x80\xB0"));
    EXPECT_EQ(0, ReadPerMille("455"));
    EXPECT_EQ(0, ReadPerMille("4x5\xE2\x80\xB0"));
    EXPECT_EQ(0, ReadPerMille("\xE2\x80\xB0"));
    EXPECT_EQ("312\xE2\x80\xB0", PerMilleText(312));
}

TEST_F(BackupFormTest, LoadsTheEditorsStateFromTheSettingsFile)
{
    const std::string name = sandbox.Path("Vastrel.ini");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ini.WriteString("Backup", "LastDir", "/home/user");
        ini.WriteString("Backup", "LastDest", "/mnt/b");
        ini.WriteString("Backup", "LastLog", "/logs/a.log");
        ini.WriteInteger("MainWindow", "WindowState", 2);
        ini.WriteInteger("MainWindow", "Left", 120);
        ini.WriteInteger("MainWindow", "DualMonPos", 1999);
        ini.WriteInteger("MainWindow", "Top", 80);
        ini.WriteInteger("MainWindow", "Width", 10);
        ini.WriteInteger("MainWindow", "Height", 5000);
        ini.WriteString("MainWindow", "AutoWidth", "455");
        ini.WriteString("MainWindow", "SelectionsHeight", "333\xE2\x80\xB0");
        ini.WriteInteger("Backup", "FilterCount", 250);
        for (int i = 0; i < 120; ++i) {
            const std::string section = "Filter" + std::to_string(i);
            ini.WriteString(section, "Name", i == 1 ? "" : "List " + std::to_string(i));
            ini.WriteInteger(section, "Mode", i == 0 ? 0 : 1);
            ini.WriteString(section, "Include", "DOC,TXT");
            ini.WriteString(section, "Exclude", "TMP");
        }
        ini.WriteString("BDestination", "History0", "/mnt/a");
        ini.WriteString("BDestination", "History1", "/mnt/b");
        ini.WriteString("RecentBuTasks", "History0", "/t/one.buj");
        ini.UpdateFile();
    }
    TTestForm form;
    auto ini = TUnicodeIniFile::CreateForRead(name);
    form.LoadFromIni(ini);
    EXPECT_EQ(QStringLiteral("/home/user"), form.edFolder->text());
    EXPECT_EQ(QStringLiteral("/mnt/b"), form.BuZiel->currentText());
    EXPECT_EQ(2, form.BuZiel->count());
    EXPECT_EQ("/logs/a.log", form.Task.LastLogFile);
    EXPECT_EQ(wsMaximized, form.UForm.ws);
    EXPECT_EQ(120, form.UForm.FormPos.xprim);
    EXPECT_EQ(1999, form.UForm.FormPos.xmult); // the older key
    EXPECT_EQ(80, form.UForm.FormPos.ymult);   // MultTop defaults to Top
    EXPECT_EQ(form.DefWidth, form.UForm.FormPos.w);
    EXPECT_EQ(5000, form.UForm.FormPos.h);
    EXPECT_FALSE(form.UForm.UseDefault);
    EXPECT_EQ(0, form.UForm.CWidth);
    EXPECT_EQ(333, form.UForm.SHeight);
    // At most 100 lists; the one without a name leaves no gap.
    ASSERT_EQ(99, form.FilterListCount());
    EXPECT_EQ(99, form.FilterListe->count());
    EXPECT_EQ("List 0", form.FilterListName(0));
    EXPECT_EQ("List 2", form.FilterListName(1));
    EXPECT_EQ(buInclude, form.FilterList(0).InclMode);
    EXPECT_EQ("DOC,TXT", form.FilterList(0).Include.CommaText());
    EXPECT_EQ(buExclude, form.FilterList(1).InclMode);
    EXPECT_EQ("TMP", form.FilterList(1).Exclude.CommaText());
    ASSERT_EQ(1, form.TaskList.Count());
    EXPECT_EQ("/t/one.buj", form.TaskList[0]);
    EXPECT_EQ(esNew, form.Task.EditStatus);
}

TEST_F(BackupFormTest, SavesTheEditorsStateAndErasesOldLists)
{
    const std::string name = sandbox.Path("Vastrel.ini");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ini.WriteInteger("MainWindow", "DualMonPos", 5);
        for (int i = 0; i < 8; ++i)
            ini.WriteString("Filter" + std::to_string(i), "Name", "old");
        ini.UpdateFile();
    }
    TTestForm form;
    for (int i = 0; i < 5; ++i) {
        auto list = std::make_unique<TExtensionList>(form.Task.NewPeriod, sdmNormal);
        list->InclMode = i == 0 ? buInclude : buExclude;
        list->Include.SetCommaText("DOC");
        list->Exclude.SetCommaText("TMP,BAK");
        form.AddFilterList("New " + std::to_string(i), std::move(list));
    }
    form.edFolder->setText(QString::fromStdString(sandbox.Path("gone")));
    form.BuZiel->addItem(QStringLiteral("/mnt/x"));
    form.BuZiel->setEditText(QStringLiteral("/mnt/y"));
    form.TaskList.AddString("/t/two.buj");
    form.UForm.FormPos.xprim = 11;
    form.UForm.FormPos.w = 800;
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        form.SaveToIni(ini);
        ini.UpdateFile();
    }
    const auto ini = TUnicodeIniFile::CreateForRead(name);
    EXPECT_FALSE(ini.ValueExists("Backup", "LastDir")); // the folder does not exist
    EXPECT_EQ("/mnt/y", ini.ReadString("Backup", "LastDest", ""));
    EXPECT_FALSE(ini.ValueExists("MainWindow", "DualMonPos"));
    EXPECT_EQ(11, ini.ReadInteger("MainWindow", "Left", 0));
    EXPECT_EQ(800, ini.ReadInteger("MainWindow", "Width", 0));
    EXPECT_GT(ReadPerMille(ini.ReadString("MainWindow", "AutoWidth", "")), 0);
    EXPECT_GT(ReadPerMille(ini.ReadString("MainWindow", "SelectionsHeight", "")), 0);
    EXPECT_EQ(5, ini.ReadInteger("Backup", "FilterCount", 0));
    EXPECT_EQ("DOC", ini.ReadString("Filter0", "Include", ""));
    EXPECT_FALSE(ini.ValueExists("Filter0", "Exclude"));
    EXPECT_EQ("TMP,BAK", ini.ReadString("Filter4", "Exclude", ""));
    EXPECT_FALSE(ini.ValueExists("Filter4", "Include"));
    EXPECT_FALSE(ini.SectionExists("Filter5"));
    EXPECT_FALSE(ini.SectionExists("Filter7"));
    EXPECT_EQ("/mnt/x", ini.ReadString("BDestination", "History0", ""));
    EXPECT_EQ("/t/two.buj", ini.ReadString("RecentBuTasks", "History0", ""));

    // Read back into a new form.
    TTestForm again;
    auto back = TUnicodeIniFile::CreateForRead(name);
    again.LoadFromIni(back);
    EXPECT_EQ(5, again.FilterListCount());
    EXPECT_EQ("New 4", again.FilterListName(4));
}

// A message catalogue with the given translations (.mo format, little-endian).
std::string MoData(const std::vector<std::pair<std::string, std::string>>& entries)
{
    const uint32_t n = static_cast<uint32_t>(entries.size());
    std::string head, tables, strings;
    auto put = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
    const uint32_t origTable = 28, transTable = origTable + 8 * n, data = transTable + 8 * n;
    put(head, 0x950412de);
    put(head, 0);
    put(head, n);
    put(head, origTable);
    put(head, transTable);
    put(head, 0);
    put(head, data);
    std::string orig, trans;
    for (const auto& e : entries) {
        put(orig, static_cast<uint32_t>(e.first.size()));
        put(orig, data + static_cast<uint32_t>(strings.size()));
        strings += e.first + '\0';
    }
    for (const auto& e : entries) {
        put(trans, static_cast<uint32_t>(e.second.size()));
        put(trans, data + static_cast<uint32_t>(strings.size()));
        strings += e.second + '\0';
    }
    return head + orig + trans + strings;
}

TEST_F(BackupFormTest, LanguageChangeTranslatesTheOpenForm)
{
    TTestForm form;
    form.show();
    form.pcMain->setCurrentWidget(form.tsOptions);
    auto catalogue = std::make_shared<TMoCatalogue>();
    ASSERT_TRUE(
        catalogue->LoadFromData(MoData({{"Configure backup task", "Sicherungsauftrag einrichten"},
                                        {"Directories to be backed up", "Zu sichernde Verzeichnisse"},
                                        {"Add directories\r\nto task", "Verzeichnisse\r\nhinzufuegen"},
                                        {"Drive identifier", "Laufwerkskennung"},
                                        {"New backup task", "Neuer Sicherungsauftrag"}})));
    SetCatalogue(catalogue);
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&form, &change);
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral("Sicherungsauftrag einrichten")));
    EXPECT_EQ(QStringLiteral("Zu sichernde Verzeichnisse"), form.pcMain->tabText(0));
    EXPECT_EQ(QStringLiteral("Verzeichnisse\nhinzufuegen"), Find<QPushButton>(&form, "AddBtn")->text());
    EXPECT_TRUE(form.paDriveId->text().startsWith(QStringLiteral("Laufwerkskennung: ")));
    EXPECT_EQ(QStringLiteral("Neuer Sicherungsauftrag"), Find<QLabel>(&form, "laTask")->text());
    EXPECT_EQ(form.tsDirectories, form.pcMain->currentWidget());
    EXPECT_EQ(form.tsSubDirs, form.pcSelection->currentWidget());
    EXPECT_EQ(form.tsToolDirs, form.pcTools->currentWidget());
}

TEST_F(BackupFormTest, BackupPreviewKeyListsTheCurrentLinesFiles)
{
    BuildTree(sandbox.Path("src"), {{"a.txt", "1"}, {"b.txt", "22"}, {"sub/c.txt", "3"}});
    TTestForm form;
    form.RealPreview = true;
    AddEntry(form, sandbox.Path("src") + "/");
    form.ShowTask();
    form.show();
    int rows = -1;
    QString title, hint;
    WhenModal([&](QWidget* w) {
        title = w->windowTitle();
        rows = Find<QTableView>(w, "lvwFiles")->model()->rowCount();
        hint = Find<QLabel>(w, "lblHinweis1")->text();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    QTest::keyClick(form.SelectedDirBox, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QStringLiteral("Preview of files to be backed up"), title);
    EXPECT_EQ(5, rows); // two folders and three files
    EXPECT_EQ(QStringLiteral("3 files totaling 4 B"), hint);
}

TEST_F(BackupFormTest, DesktopShortcutStartsTheTaskWithTheChosenOptions)
{
    const std::string desktop = DesktopDir();
    TTestForm form;
    form.CreateShortcut(""); // nothing happens, nothing is shown
    EXPECT_FALSE(std::filesystem::exists(desktop + "/Qv-Bu-.desktop"));

    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "rbShutdown")->click();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    form.CreateShortcut("/tasks/My Task.buj");
    const std::string file = desktop + "/Qv-Bu-My Task.desktop";
    TDesktopEntry entry;
    ASSERT_EQ(0u, ReadDesktopEntry(file, entry));
    ASSERT_EQ(6u, entry.Exec.size());
    EXPECT_EQ("/tasks/My Task.buj", entry.Exec[1]);
    EXPECT_EQ("/force", entry.Exec[2]);
    EXPECT_EQ("/prompt:delay", entry.Exec[3]);
    EXPECT_EQ("/hide", entry.Exec[4]);
    EXPECT_EQ("/end:shutdown", entry.Exec[5]);
    EXPECT_EQ("Backup: My Task", entry.Comment);

    // An existing shortcut is replaced only after Yes.
    ClearMsgDialogLog();
    QueueMsgDialogAnswer(mrNo);
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton); });
    form.CreateShortcut("/tasks/My Task.buj");
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Replace existing desktop shortcut \"Qv-Bu-My Task\"?", MsgDialogLog()[0].Text);
    ASSERT_EQ(0u, ReadDesktopEntry(file, entry));
    EXPECT_EQ("/end:shutdown", entry.Exec.back());

    // Several tasks, and the automatic slots offered for one task.
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton); });
    form.CreateMultiShortcut("Qv-Bu-a", "Backup: a, b", "\"/t/a.buj\" \"/t/b.buj\"");
    ASSERT_EQ(0u, ReadDesktopEntry(desktop + "/Qv-Bu-a.desktop", entry));
    EXPECT_EQ((std::vector<std::string>{"/t/a.buj", "/t/b.buj", "/f", "/prompt:delay", "/hide"}),
              std::vector<std::string>(entry.Exec.begin() + 1, entry.Exec.end()));
}

} // namespace
