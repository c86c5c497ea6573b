#include "backup/gui/BuPwdDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

#include "backup/gui/PhDirDlg.h"
#include "backup/gui/SelectFilesDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {
void ClickOk(QWidget* w)
{
    Find<QPushButton>(w, "OKBtn")->click();
}

const TScreenshotShow pwdShot("crypt-password-dialog", [](const TScreenshotSaver& save) {
    std::string pwd;
    ScreenshotModal(
        save, [&] { ShowCryptPwdDialog("File encryption", "Password for the encrypted files:", pwd, 8); });
});

const TScreenshotShow phDirShot("placeholder-folder-dialog", [](const TScreenshotSaver& save) {
    std::string dir = "%documents%/Letters";
    ScreenshotModal(save, [&] {
        ShowPhDirDialog(DefaultFormPos, "The path may contain placeholders such as %documents%.", dir);
    });
});

const TScreenshotShow filesShot("select-files-dialog", [](const TScreenshotSaver& save) {
    TTextFilter filter(true);
    filter.SetFilter("notes.txt|report.docx");
    filter.SetMode(fmInclude);
    ScreenshotModal(save, [&] { SelectFilesCentered("/etc", filter); });
});

class SelectFilesDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
    std::string Dir()
    {
        const std::string dir = sandbox.Path("src");
        std::filesystem::create_directories(dir);
        for (const char* name : {"a.txt", "B.doc", ".hidden", "c[1.txt"})
            std::ofstream(dir + "/" + name) << "x";
        return dir;
    }
};

void SelectByText(QListWidget* list, const QStringList& texts)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(texts.contains(list->item(i)->text()));
}
} // namespace

TEST(BuPwdDlgTest, PasswordsMustMatchAndReachTheMinimumUnlessEmpty)
{
    struct Case
    {
        const char* First;
        const char* Second;
        const char* Message; // nullptr: accepted
    };
    const Case cases[] = {
        {"", "", nullptr},
        {"abc", "xyz", "Minimum length of password is 8 characters"},
        {"abcdefgh", "abcdefgX", "Passwords do not match!"},
        {"abcdefgh", "ABCDEFGH", "Passwords do not match!"},
        {"abcdefgh", "abcdefgh", nullptr},
    };
    for (const Case& c : cases) {
        ClearMsgDialogLog();
        std::string pwd = "old";
        QString title, prompt;
        WhenModal([&](QWidget* w) {
            title = w->windowTitle();
            prompt = Find<QLabel>(w, "lblPrompt")->text();
            Find<QLineEdit>(w, "edtPwd")->setText(QString::fromUtf8(c.First));
            Find<QLineEdit>(w, "edtRepPwd")->setText(QString::fromUtf8(c.Second));
            if (c.Message)
                QueueMsgDialogAnswer(mrOk);
            ClickOk(w);
            if (w->isVisible())
                QTest::keyClick(w, Qt::Key_Escape);
        });
        const bool ok = ShowCryptPwdDialog("Encryption", "Enter the password", pwd, 8);
        EXPECT_EQ(QStringLiteral("Encryption"), title);
        EXPECT_EQ(QStringLiteral("Enter the password"), prompt);
        if (c.Message) {
            EXPECT_FALSE(ok) << c.First;
            ASSERT_FALSE(MsgDialogLog().empty());
            EXPECT_EQ(c.Message, MsgDialogLog().back().Text);
            EXPECT_EQ("old", pwd);
        } else {
            EXPECT_TRUE(ok) << c.First;
            EXPECT_EQ(c.First, pwd);
        }
    }
    ClearMsgDialogLog();
}

TEST(PhDirDlgTest, ReturnsTheTypedPathAndHidesAnEmptyExplanation)
{
    std::string dir = "%documents%/old";
    int withHint = 0, withoutHint = 0;
    WhenModal([&](QWidget* w) {
        withHint = w->height();
        Find<QLineEdit>(w, "edFolder")->setText(QStringLiteral("%documents%/Letters"));
        ClickOk(w);
    });
    ASSERT_TRUE(ShowPhDirDialog(DefaultFormPos, "Placeholders are allowed", dir));
    EXPECT_EQ("%documents%/Letters", dir);
    bool hintShown = true;
    WhenModal([&](QWidget* w) {
        withoutHint = w->height();
        hintShown = Find<QLabel>(w, "laHint")->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ShowPhDirDialog(DefaultFormPos, "", dir));
    EXPECT_EQ("%documents%/Letters", dir);
    EXPECT_FALSE(hintShown);
    EXPECT_LT(withoutHint, withHint);
}

TEST_F(SelectFilesDlgTest, AddsEachFileOnceAndStoresTheListWithTheMode)
{
    const std::string dir = Dir();
    TTextFilter filter(true);
    filter.SetMode(fmOff);
    filter.SetFilter("old.txt");
    QStringList shown;
    bool invert = true;
    QString path;
    WhenModal([&](QWidget* w) {
        auto* files = Find<QListWidget>(w, "FileListBox");
        for (int i = 0; i < files->count(); ++i)
            shown << files->item(i)->text();
        invert = Find<QCheckBox>(w, "cbInvert")->isChecked();
        path = Find<QLineEdit>(w, "lePath")->text();
        SelectByText(files, {"a.txt", "B.doc"});
        Find<QPushButton>(w, "btnAdd")->click();
        SelectByText(files, {"a.txt"});
        Find<QPushButton>(w, "btnAdd")->click(); // already there
        auto* chosen = Find<QListWidget>(w, "lbFiles");
        SelectByText(chosen, {"old.txt"});
        Find<QPushButton>(w, "btnRemove")->click();
        ClickOk(w);
    });
    ASSERT_TRUE(SelectFilesCentered(dir, filter));
    EXPECT_TRUE(shown.contains(QStringLiteral(".hidden")));
    EXPECT_FALSE(invert);
    EXPECT_EQ(QString::fromStdString(dir), path);
    EXPECT_EQ("a.txt|B.doc", filter.GetFilter());
    EXPECT_EQ(fmInclude, filter.Mode());

    WhenModal([&](QWidget* w) {
        Find<QCheckBox>(w, "cbInvert")->setChecked(true);
        ClickOk(w);
    });
    ASSERT_TRUE(SelectFilesCentered(dir, filter));
    EXPECT_EQ(fmExclude, filter.Mode());
    EXPECT_EQ("a.txt|B.doc", filter.GetFilter());
}

TEST_F(SelectFilesDlgTest, AnIllegalMaskIsRefusedInPlaceAndCancelKeepsTheFilter)
{
    const std::string dir = Dir();
    TTextFilter filter(true);
    filter.SetFilter("a.txt");
    filter.SetMode(fmInclude);
    bool stayed = false;
    WhenModal([&](QWidget* w) {
        auto* files = Find<QListWidget>(w, "FileListBox");
        SelectByText(files, {"c[1.txt"});
        Find<QPushButton>(w, "btnAdd")->click();
        QueueMsgDialogAnswer(mrOk);
        ClickOk(w);
        stayed = w->isVisible();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(SelectFilesCentered(dir, filter));
    EXPECT_TRUE(stayed);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ("Illegal mask!", MsgDialogLog().back().Text);
    EXPECT_EQ("a.txt", filter.GetFilter());
    EXPECT_EQ(fmInclude, filter.Mode());
}
