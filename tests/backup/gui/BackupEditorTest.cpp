// The real task editor driven offscreen: a task made, saved, reloaded, run to a real destination and
// its log shown; the save question on closing; the new-task wizard page by page.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/RunTestUtil.h"
#include "backup/TaskFile.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/BackupForm.h"
#include "backup/gui/EditorDialogs.h"
#include "backup/gui/Wizard.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Files.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace fs = std::filesystem;

namespace {

// The program's dialogs, with the file and folder choosers answered from queues.
class TQueuedChoosers : public TEditorDialogs
{
public:
    using TEditorDialogs::TEditorDialogs;
    std::deque<std::string> Folders, Files;
    bool ChooseFolder(const std::string&, const std::string&, std::string& folder) override
    {
        return Pop(Folders, folder);
    }
    bool ChooseTaskFile(TTaskFileDialog, const std::string&, const std::string&, std::string& file) override
    {
        return Pop(Files, file);
    }
    bool ChooseLogFile(const std::string&, const std::string&, std::string& file) override
    {
        return Pop(Files, file);
    }

private:
    static bool Pop(std::deque<std::string>& q, std::string& out)
    {
        if (q.empty())
            return false;
        out = q.front();
        q.pop_front();
        return !out.empty();
    }
};

class BackupEditorTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        savedTaskDir = ActiveTaskDir;
        ActiveTaskDir = sandbox.Path("tasks/");
        fs::create_directories(sandbox.Path("tasks"));
        fs::create_directories(sandbox.Path("dest"));
        for (int i = 0; i < 12; ++i) {
            const std::string name =
                sandbox.Path("src/d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt");
            fs::create_directories(fs::path(name).parent_path());
            WriteFileBytes(name, std::string(50 + i, 'x'));
        }
        ProgSettings.ViewSettings.PlaySound = false;
        ProgSettings.ViewSettings.AutoWaitTime = 0;
        ClearMsgDialogLog();
        auto dialogs = std::make_unique<TQueuedChoosers>(&form);
        choosers = dialogs.get();
        form.SetDialogs(std::move(dialogs));
        form.RunHost = &host;
        form.ProgressWindow = &window;
        // the result view of a run: press Done
        resultWatch.setInterval(10);
        QObject::connect(&resultWatch, &QTimer::timeout, [this] {
            auto* button = Find<QPushButton>(&window, "Button");
            if (window.isVisible() && button && button->text().startsWith(QStringLiteral("Done")))
                QTest::mouseClick(button, Qt::LeftButton);
        });
        resultWatch.start();
    }
    void TearDown() override
    {
        if (TShowTextDialog* viewer = TextViewer())
            viewer->close();
        form.hide();
        ActiveTaskDir = savedTaskDir;
        ClearMsgDialogLog();
        RunFrameTest::TearDown();
    }
    // Makes a task in the editor: one source folder and the destination, saved as name.
    std::string MakeTask(const std::string& name)
    {
        choosers->Folders = {sandbox.Path("src"), sandbox.Path("dest")};
        QTest::mouseClick(Find<QPushButton>(&form, "btFolder"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>(&form, "btnDir"), Qt::LeftButton);
        const std::string file = sandbox.Path("tasks/" + name);
        choosers->Files = {file};
        QTest::mouseClick(Find<QPushButton>(&form, "SaveBtn"), Qt::LeftButton);
        return file;
    }
    int CopiedFiles() const
    {
        int n = 0;
        for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest")))
            n += e.is_regular_file() && e.path().extension() == ".txt";
        return n;
    }

    std::string savedTaskDir;
    TZeigFortschritt window;
    TBackupForm form;
    TQueuedChoosers* choosers = nullptr;
    QTimer resultWatch;
};

TEST_F(BackupEditorTest, ATaskMadeInTheEditorIsSavedAndReloadsTheSame)
{
    form.show();
    EXPECT_EQ(QStringLiteral("New backup task"), Find<QLabel>(&form, "laTask")->text());
    const std::string file = MakeTask("made.buj");
    std::string shown;
    for (const auto& m : MsgDialogLog())
        shown += m.Text + "|";
    ASSERT_TRUE(fs::exists(file)) << shown;
    EXPECT_EQ(esSaved, form.Task.EditStatus);
    EXPECT_FALSE(Find<QPushButton>(&form, "SaveBtn")->isEnabled());
    EXPECT_EQ(QStringLiteral("Backup task: made"), Find<QLabel>(&form, "laTask")->text());

    TTaskSettings loaded;
    TTaskFileReport report;
    ASSERT_TRUE(LoadTask(loaded, file, true, iaNone, report));
    ASSERT_EQ(1, loaded.Folders.Count());
    EXPECT_EQ(sandbox.Path("src"), loaded.Folders[0].SPath);
    EXPECT_EQ(sandbox.Path("dest"), loaded.BuZiel);

    // a change enables Save; Save writes it
    Find<QCheckBox>(&form, "cbCreationTime")->click();
    EXPECT_EQ(esChanged, form.Task.EditStatus);
    EXPECT_TRUE(Find<QPushButton>(&form, "SaveBtn")->isEnabled());
    QTest::mouseClick(Find<QPushButton>(&form, "SaveBtn"), Qt::LeftButton);
    TTaskSettings again;
    ASSERT_TRUE(LoadTask(again, file, true, iaNone, report));
    EXPECT_FALSE(again.cbCreationTime);
}

TEST_F(BackupEditorTest, ClosingAChangedTaskAsksAndCancelKeepsTheEditorOpen)
{
    form.show();
    const std::string file = MakeTask("close.buj");
    Find<QCheckBox>(&form, "cbCopySummary")->click();
    const std::string before = ReadFileBytes(file);
    QueueMsgDialogAnswer(mrCancel);
    form.close();
    EXPECT_TRUE(form.isVisible());
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ("Save changed task to \"close.buj\"?", MsgDialogLog().back().Text);
    QueueMsgDialogAnswer(mrNo);
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(before, ReadFileBytes(file));
}

TEST_F(BackupEditorTest, AFileThatIsNoTaskIsRefusedWithAMessageAndTheEditorStays)
{
    form.show();
    const std::string file = MakeTask("keep.buj");
    WriteFileBytes(sandbox.Path("tasks/other.buj"), "[Colours]\nSky=blue\n");
    choosers->Files = {sandbox.Path("tasks/other.buj")};
    QueueMsgDialogAnswer(mrOk);
    QTest::mouseClick(Find<QPushButton>(&form, "OpenBtn"), Qt::LeftButton);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_NE(std::string::npos, MsgDialogLog().back().Text.find("is not a backup task file"));
    EXPECT_EQ(file, form.Task.ActTaskName);
    EXPECT_EQ("[Colours]\nSky=blue\n", ReadFileBytes(sandbox.Path("tasks/other.buj")));
}

TEST_F(BackupEditorTest, StartRunsTheTaskToItsDestinationAndTheLogShowsTheRun)
{
    form.show();
    MakeTask("run.buj");
    form.Task.TaskProtMode = 1;
    form.Task.TaskLogName = sandbox.Path("cfg/run.log");
    ClearMsgDialogLog();
    QTest::mouseClick(Find<QPushButton>(&form, "StartBtn"), Qt::LeftButton);
    std::string shown;
    for (const auto& m : MsgDialogLog())
        shown += m.Text + "|";
    EXPECT_EQ(12, CopiedFiles()) << shown << ReadFileBytes(sandbox.Path("cfg/run.log"));
    EXPECT_EQ(0, host.FExitState);
    EXPECT_EQ(2, form.Task.BackupCount);
    ASSERT_TRUE(fs::exists(sandbox.Path("cfg/run.log")));
    form.ProtView(false, false);
    TShowTextDialog* viewer = TextViewer();
    ASSERT_NE(nullptr, viewer);
    EXPECT_TRUE(viewer->isVisible());
    const QString text = Find<QPlainTextEdit>(viewer, "Memo")->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("run.buj"))) << text.left(400).toStdString();
}

TEST_F(BackupEditorTest, TheWizardLeadsThroughItsPagesToATask)
{
    TBackupTask answers;
    std::string saved = sandbox.Path("tasks/wizard.buj");
    TWizardServices services;
    services.SelectSaveName = [&](std::string& name) {
        name = saved;
        return true;
    };
    std::deque<std::string> folders = {sandbox.Path("src/d0"), sandbox.Path("src/d1")};
    services.ChooseFolder = [&](const std::string&, const std::string&, std::string& folder) {
        if (folders.empty())
            return false;
        folder = folders.front();
        folders.pop_front();
        return true;
    };
    answers.TargetDir = sandbox.Path("dest/wiz");
    int pagesSeen = 0;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<TWizardDialog*>(w);
        ASSERT_NE(nullptr, d);
        auto page = [d] { return d->pcWizard->currentWidget()->objectName().toStdString(); };
        QTest::mouseClick(d->btnStart, Qt::LeftButton);
        EXPECT_EQ("tsDestination", page());
        ++pagesSeen;
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        EXPECT_EQ("tsSources", page());
        // an empty list stays on the page
        QueueMsgDialogAnswer(mrOk);
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        EXPECT_EQ("tsSources", page());
        QTest::mouseClick(d->btnAddDir, Qt::LeftButton);
        QTest::mouseClick(d->btnAddDir, Qt::LeftButton);
        EXPECT_EQ(2, d->lbDirs->count());
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        EXPECT_EQ("tsMethod", page());
        d->rbZip->click();
        d->cbZipMethod->setCurrentIndex(0);
        d->edZipName->clear();
        QueueMsgDialogAnswer(mrOk); // no zip name
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        EXPECT_EQ("tsMethod", page());
        d->edZipName->setText(QStringLiteral("Arch-%date%"));
        d->cbVerify->setChecked(true);
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        EXPECT_EQ("tsSchedule", page());
        EXPECT_FALSE(d->rbSchedule->isEnabled()); // no automatic tasks without the main window
        QTest::mouseClick(d->btnDone, Qt::LeftButton);
        ++pagesSeen;
    });
    EXPECT_EQ(mrYes, ExecuteBackupWizard(answers, services));
    EXPECT_EQ(2, pagesSeen);
    EXPECT_EQ(saved, answers.NewTaskName);
    EXPECT_EQ(4, answers.TargetMode);
    EXPECT_EQ("Arch-%date%", answers.ZipName);
    EXPECT_EQ(BackupOption(boVerify), answers.Options);
    EXPECT_EQ(-1, answers.AutoNr);

    // the editor takes the answers over and saves the task at once
    form.RunWizard = [&](TBackupTask& t) {
        t = answers;
        return mrYes;
    };
    const bool useWizard = ProgSettings.OtherSettings.UseWizard;
    ProgSettings.OtherSettings.UseWizard = true;
    form.NewTaskFromWizard("", false, TFtpParams());
    ProgSettings.OtherSettings.UseWizard = useWizard;
    EXPECT_EQ(saved, form.Task.ActTaskName);
    EXPECT_EQ(2, form.Task.Folders.Count());
    EXPECT_TRUE(fs::exists(saved));
}

TEST_F(BackupEditorTest, ConfigureTaskEndsTheWizardWithAnEmptyEditor)
{
    TBackupTask answers;
    answers.NewTaskName = "x";
    WhenModal([](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "btnConfigure"), Qt::LeftButton); });
    EXPECT_EQ(mrNo, ExecuteBackupWizard(answers, TWizardServices{}));
    EXPECT_EQ("", answers.NewTaskName);
}

// ---- screenshots

void WizardShot(const TScreenshotSaver& save, int page)
{
    TWizardDialog dialog(TWizardServices{});
    dialog.lbDirs->addItems({QStringLiteral("/home/user/Documents"), QStringLiteral("/home/user/Pictures")});
    dialog.edTargetDir->setText(QStringLiteral("/media/backup/Vastrel"));
    dialog.rbLocal->setChecked(true);
    dialog.rbFiles->setChecked(true);
    dialog.rbNoSchedule->setChecked(true);
    dialog.ShowPage(page);
    dialog.show();
    save(&dialog);
}

const TScreenshotShow wizardStart("wizard-start", [](const TScreenshotSaver& s) { WizardShot(s, 0); });
const TScreenshotShow wizardDest("wizard-destination", [](const TScreenshotSaver& s) { WizardShot(s, 1); });
const TScreenshotShow wizardSources("wizard-sources", [](const TScreenshotSaver& s) { WizardShot(s, 2); });
const TScreenshotShow wizardMethod("wizard-method", [](const TScreenshotSaver& s) { WizardShot(s, 3); });
const TScreenshotShow wizardSchedule("wizard-schedule", [](const TScreenshotSaver& s) { WizardShot(s, 4); });

const TScreenshotShow logViewerShot("logviewer", [](const TScreenshotSaver& save) {
    const std::string file = (fs::temp_directory_path() / "vastrel-shot-task.log").string();
    WriteFileBytes(file, "Vastrel - Data backup 2026-12-11 10:00:00\r\n  ==> Backup task: Documents\r\n"
                         "      /home/user/Documents/ -> /media/backup/Vastrel/Drv/home/user/Documents/\r\n"
                         "  *** Error copying file: report.odt\r\n  ==> 1204 of 1205 files copied\r\n");
    TBackupForm form;
    form.show(); // from the open editor the viewer is not modal
    form.ShowProt(file, true);
    if (TShowTextDialog* viewer = TextViewer())
        save(viewer);
    if (TShowTextDialog* viewer = TextViewer())
        viewer->close();
    fs::remove(file);
});

} // namespace
