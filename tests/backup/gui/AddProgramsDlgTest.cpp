#include "backup/gui/AddProgramsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {
void ClickOk(QWidget* w)
{
    Find<QPushButton>(w, "OKBtn")->click();
}

const TScreenshotShow programsShot("external-programs-dialog", [](const TScreenshotSaver& save) {
    TExternalProg pre{"/usr/local/bin/mount-backup-disk.sh %taskname%", 1, 30 | epActive | epShowConsole};
    TExternalProg post{"", epNotIfCanceled, 0};
    int encrypt = 0;
    ScreenshotModal(save, [&] {
        TAddProgramsDialog dlg;
        dlg.Execute("/tmp", pre, post, encrypt);
    });
});

class AddProgramsDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
    std::string Script(const std::string& rel, const char* text)
    {
        const std::string path = sandbox.Path(rel);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
};
} // namespace

TEST_F(AddProgramsDlgTest, TimeOutIgnoreAndActiveBoxGiveTheWaitBitsAndReopenTheSame)
{
    TExternalProg pre, post;
    ResetExternalProg(1, pre);
    ResetExternalProg(1, post);
    int encrypt = 0;
    WhenModal([](QWidget* w) {
        Find<QGroupBox>(w, "gbPre")->setChecked(true);
        Find<QLineEdit>(w, "edPreCommand")->setText(QStringLiteral("prepare --all"));
        Find<QRadioButton>(w, "rbPreWt")->setChecked(true);
        Find<TRangeEdit>(w, "rePreTm")->setText(QStringLiteral("30"));
        Find<QCheckBox>(w, "cbPreIgnore")->setChecked(true);
        Find<QCheckBox>(w, "cbPreConsole")->setChecked(false);
        Find<TRangeEdit>(w, "reErrorLevel")->setText(QStringLiteral("3"));
        Find<QGroupBox>(w, "gbPost")->setChecked(true);
        Find<QLineEdit>(w, "edPostCommand")->setText(QStringLiteral("finish"));
        Find<QCheckBox>(w, "cbPostConsole")->setChecked(false);
        Find<QCheckBox>(w, "cbError")->setChecked(true);
        Find<QCheckBox>(w, "cbPostErrorLevel")->setChecked(true);
        Find<QCheckBox>(w, "cbEncrypt")->setChecked(true);
        ClickOk(w);
    });
    {
        TAddProgramsDialog dlg;
        ASSERT_TRUE(dlg.Execute(sandbox.Path(""), pre, post, encrypt));
    }
    EXPECT_EQ("prepare --all", pre.Command);
    EXPECT_EQ(30 + 8192 + 16384, pre.Wait);
    EXPECT_EQ(3, pre.ErrorLevel);
    EXPECT_EQ(epActive, post.Wait);
    // The reset record of the program after the backup has the "canceled by user" condition.
    EXPECT_EQ(epNotIfCanceled | epNotIfErrors | epIgnoreExitCode, post.ErrorLevel);
    EXPECT_EQ(1, encrypt);

    bool waitTime = false, ignore = false, active = false, timeEnabled = false, postTimeEnabled = true;
    QString timeout;
    WhenModal([&](QWidget* w) {
        waitTime = Find<QRadioButton>(w, "rbPreWt")->isChecked();
        timeout = Find<TRangeEdit>(w, "rePreTm")->text();
        timeEnabled = Find<TRangeEdit>(w, "rePreTm")->isEnabled();
        postTimeEnabled = Find<TRangeEdit>(w, "rePostTm")->isEnabled();
        ignore = Find<QCheckBox>(w, "cbPreIgnore")->isChecked();
        active = Find<QGroupBox>(w, "gbPre")->isChecked();
        // Unticking keeps the command but makes it inactive.
        Find<QGroupBox>(w, "gbPre")->setChecked(false);
        Find<QLineEdit>(w, "edPostCommand")->clear();
        ClickOk(w);
    });
    {
        TAddProgramsDialog dlg;
        ASSERT_TRUE(dlg.Execute(sandbox.Path(""), pre, post, encrypt));
    }
    EXPECT_TRUE(waitTime);
    EXPECT_EQ(QStringLiteral("30"), timeout);
    EXPECT_TRUE(timeEnabled);
    EXPECT_FALSE(postTimeEnabled);
    EXPECT_TRUE(ignore);
    EXPECT_TRUE(active);
    EXPECT_EQ("prepare --all", pre.Command);
    EXPECT_EQ(30 + 16384, pre.Wait);
    EXPECT_EQ("", post.Command);
    EXPECT_EQ(0, post.Wait & epActive);
}

TEST_F(AddProgramsDlgTest, OutOfRangeNumbersAreRefusedAndEncryptMinusOneStaysHidden)
{
    struct Case
    {
        const char* Edit;
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {{"rePreTm", "3601", "Range check error (1 .. 3600)"},
                          {"rePreTm", "0", "Range check error (1 .. 3600)"},
                          {"reErrorLevel", "256", "Range check error (1 .. 255)"}};
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        TExternalProg pre{"x", 1, epActive | 10}, post;
        int encrypt = -1;
        bool stayed = false, encryptShown = true;
        WhenModal([&](QWidget* w) {
            encryptShown = Find<QCheckBox>(w, "cbEncrypt")->isVisible();
            Find<TRangeEdit>(w, c.Edit)->setText(QString::fromLatin1(c.Text));
            QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            stayed = w->isVisible();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        TAddProgramsDialog dlg;
        EXPECT_FALSE(dlg.Execute("", pre, post, encrypt));
        EXPECT_TRUE(stayed) << c.Text;
        EXPECT_FALSE(encryptShown);
        EXPECT_EQ(-1, encrypt);
        ASSERT_FALSE(MsgDialogLog().empty());
        EXPECT_EQ(c.Message, MsgDialogLog().back().Text);
        EXPECT_EQ(epActive | 10, pre.Wait);
    }
}

TEST_F(AddProgramsDlgTest, ConsoleBoxFollowsTheProgramAndHistoriesAreKept)
{
    const std::string script = Script("my tools/run.sh", "#!/bin/sh\nexit 0\n");
    const std::string desktop = Script("tools/app.desktop", "[Desktop Entry]\n");
    const std::string ini = sandbox.Path("Vastrel.ini");
    TExternalProg pre, post;
    ResetExternalProg(1, pre);
    ResetExternalProg(1, post);
    int encrypt = -1;
    bool consoleForScript = false, consoleForDesktop = true;
    WhenModal([&](QWidget* w) {
        auto* cmd = Find<QLineEdit>(w, "edPreCommand");
        cmd->setText(QString::fromStdString("\"" + script + "\" --fast"));
        consoleForScript = Find<QCheckBox>(w, "cbPreConsole")->isChecked();
        cmd->setText(QString::fromStdString(desktop));
        consoleForDesktop = Find<QCheckBox>(w, "cbPreConsole")->isChecked();
        cmd->setText(QString::fromStdString("\"" + script + "\""));
        Find<QLineEdit>(w, "edPostCommand")->setText(QStringLiteral("cleanup.sh"));
        ClickOk(w);
    });
    {
        TAddProgramsDialog dlg;
        dlg.Init(ini);
        ASSERT_TRUE(dlg.Execute("", pre, post, encrypt));
    }
    EXPECT_TRUE(consoleForScript);
    EXPECT_FALSE(consoleForDesktop);
    // A quoted path alone goes into the history without its quotes.
    TMemIniFile file(ini);
    EXPECT_EQ(script, file.ReadString("PreCommands", "History0", ""));
    EXPECT_EQ("cleanup.sh", file.ReadString("PostCommands", "History0", ""));

    // Choosing a recent entry puts it into the edit, quoted where its form asks for it.
    {
        TMemIniFile edit(ini);
        edit.WriteString("PreCommands", "History0", "backup helper.sh");
        edit.UpdateFile();
    }
    QString chosen;
    WhenModal([&](QWidget* w) {
        auto* list = Find<QComboBox>(w, "edPreCmdList");
        EXPECT_EQ(1, list->count());
        emit list->activated(0);
        chosen = Find<QLineEdit>(w, "edPreCommand")->text();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    TAddProgramsDialog dlg;
    dlg.Init(ini);
    EXPECT_FALSE(dlg.Execute("", pre, post, encrypt));
    EXPECT_EQ(QStringLiteral("\"backup helper.sh\""), chosen);
}

TEST_F(AddProgramsDlgTest, ProgramChooserStartsAtTheCommandAndQuotesPathsWithBlanks)
{
    const std::string script = Script("my tools/run.sh", "#!/bin/sh\n");
    TExternalProg pre{"", 1, 0}, post{"", 0, 0};
    int encrypt = -1;
    QString command;
    TAddProgramsDialog::TChooserStart empty, after;
    TAddProgramsDialog dlg;
    WhenModal([&](QWidget* w) {
        empty = dlg.ChooserStart(true);
        WhenModalOtherThan(w, [&](QWidget* chooser) {
            auto* fd = qobject_cast<QFileDialog*>(chooser);
            ASSERT_NE(nullptr, fd);
            fd->selectFile(QString::fromStdString(script));
            static_cast<QDialog*>(fd)->done(QDialog::Accepted);
        });
        Find<QGroupBox>(w, "gbPre")->setChecked(true);
        Find<QPushButton>(w, "PreCommandBtn")->click();
        command = Find<QLineEdit>(w, "edPreCommand")->text();
        after = dlg.ChooserStart(false);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(dlg.Execute(sandbox.Path("tasks"), pre, post, encrypt));
    EXPECT_EQ(sandbox.Path("tasks"), empty.Dir);
    EXPECT_EQ(1, empty.FilterIndex);
    EXPECT_EQ(QString::fromStdString("\"" + script + "\""), command);
    EXPECT_EQ("Select program to be executed after backup", after.Title);
    EXPECT_EQ(sandbox.Path("my tools"), after.Dir);
    EXPECT_EQ("", after.FileName);
    EXPECT_EQ(2, after.FilterIndex); // shell scripts
}
