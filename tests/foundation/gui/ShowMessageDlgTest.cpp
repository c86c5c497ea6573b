#include "foundation/gui/ShowMessageDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestMain.h"
#include "support/gui/GuiTestUtil.h"

namespace {
// `<program> --headless-probe`: the boxes without a QApplication, as in a batch run (they answer as
// nobody present).
const TGuiTestCommand headlessProbe("--headless-probe", [](const std::string&) {
    const bool confirmed = ConfirmDialog("Overwrite?");
    const TModalResult error = ErrorDialog("Disk full", 0);
    std::string pwd = "kept";
    const TModalResult asked = AskPasswordCentered("Password", "Enter it", true, pwd);
    std::printf("confirm=%d error=%d password=%d %s\n", confirmed ? 1 : 0, error, asked, pwd.c_str());
    return 0;
});

struct BoxView
{
    std::string Title;
    bool Icon = false;
    std::string Left, Center, Close; // captions of the visible buttons, "" when hidden
    std::string Default;             // object name of the default button
    int Interval = -1;
};

BoxView Inspect(QWidget* w)
{
    BoxView v;
    if (!w)
        return v;
    v.Title = StdStr(w->windowTitle());
    v.Icon = Find<QLabel>(w, "imgIcon")->isVisible();
    auto caption = [&](const char* name) {
        auto* b = Find<QPushButton>(w, name);
        if (b->isDefault())
            v.Default = name;
        return b->isVisible() ? StdStr(b->text()) : std::string();
    };
    v.Left = caption("btLeft");
    v.Center = caption("btCenter");
    v.Close = caption("btClose");
    if (auto* dlg = dynamic_cast<TShowMsgDialog*>(w))
        v.Interval = dlg->TimerInterval();
    return v;
}

// Shows a box, lets `act` look at it and answer it, and returns the result.
TModalResult ShowBox(const std::function<TModalResult()>& show, const std::function<void(QWidget*)>& act)
{
    WhenModal(act);
    return show();
}

class ShowMessageDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    void TearDown() override { ClearMsgDialogLog(); }
};
} // namespace

TEST_F(ShowMessageDlgTest, EachTypeShowsItsTitleButtonsAndEscAnswer)
{
    struct Case
    {
        TMsgDialogType Type;
        TMsgDlgBtn Default;
        std::string Title, Left, Center, Close, DefaultName;
        TModalResult EscResult;
    };
    const Case cases[] = {
        {mdtInformation, mbYes, "Information", "", "", "&Close", "btClose", mrCancel},
        {mdtWarning, mbYes, "Warning", "", "", "&Close", "btClose", mrCancel},
        {mdtError, mbYes, "Error", "", "", "&Close", "btClose", mrCancel},
        {mdtConfirm, mbYes, "Confirm", "", "&Yes", "&No", "btCenter", mrNo},
        {mdtConfirm, mbNo, "Confirm", "", "&Yes", "&No", "btClose", mrNo},
        {mdtConfirmError, mbYes, "Error", "", "&Yes", "Cancel", "btCenter", mrCancel},
        {mdtConfirmRetry, mbYes, "Error", "", "&Retry", "Cancel", "", mrCancel},
        {mdtConfirmRetry, mbRetry, "Error", "", "&Retry", "Cancel", "btCenter", mrCancel},
        {mdtConfirmCancel, mbYes, "Confirm", "", "&Yes", "Cancel", "btCenter", mrCancel},
        {mdtConfirmYesNo, mbNo, "Confirm", "&Yes", "&No", "Cancel", "btCenter", mrCancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Title + " " + std::to_string(c.Type));
        BoxView v;
        const TModalResult r = ShowBox(
            [&] { return ExecuteMsgDialog(DefaultFormPos, "Some text", 0, c.Type, c.Default, dmActiveForm); },
            [&](QWidget* w) {
                v = Inspect(w);
                if (w)
                    QTest::keyClick(w, Qt::Key_Escape);
            });
        EXPECT_EQ(c.Title, v.Title);
        EXPECT_TRUE(v.Icon);
        EXPECT_EQ(c.Left, v.Left);
        EXPECT_EQ(c.Center, v.Center);
        EXPECT_EQ(c.Close, v.Close);
        EXPECT_EQ(c.DefaultName, v.Default);
        EXPECT_EQ(0, v.Interval);
        EXPECT_EQ(c.EscResult, r);
    }
}

TEST_F(ShowMessageDlgTest, ConfirmDialogAnswersYesOnEnterAndNoOnEsc)
{
    EXPECT_TRUE(ShowBox([] { return ConfirmDialog("Go on?") ? mrYes : mrNo; },
                        [](QWidget* w) {
                            QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return);
                        }) == mrYes);
    EXPECT_TRUE(ShowBox([] { return ConfirmDialog("Go on?") ? mrYes : mrNo; },
                        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }) == mrNo);
}

TEST_F(ShowMessageDlgTest, ConfirmRetryDialogHasNoDefaultSoEnterDoesNothing)
{
    bool stillOpen = false;
    const TModalResult r =
        ShowBox([] { return ConfirmRetryDialog("Disk full") ? mrRetry : mrCancel; },
                [&](QWidget* w) {
                    QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return);
                    stillOpen = w->isVisible();
                    QTest::keyClick(w, Qt::Key_Escape);
                });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(mrCancel, r);
}

TEST_F(ShowMessageDlgTest, ButtonsReturnTheirResults)
{
    struct Case
    {
        TMsgDialogType Type;
        const char* Button;
        TModalResult Result;
    };
    const Case cases[] = {
        {mdtConfirmError, "btCenter", mrOk},     {mdtConfirmYesNo, "btLeft", mrYes},
        {mdtConfirmYesNo, "btCenter", mrNo},     {mdtConfirmRetry, "btCenter", mrRetry},
        {mdtConfirmCancel, "btClose", mrCancel}, {mdtConfirm, "btCenter", mrYes},
    };
    for (const Case& c : cases) {
        const TModalResult r =
            ShowBox([&] { return ExecuteMsgDialog(DefaultFormPos, "Text", 0, c.Type, mbYes, dmActiveForm); },
                    [&](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, c.Button), Qt::LeftButton); });
        EXPECT_EQ(c.Result, r) << c.Type << " " << c.Button;
    }
}

TEST_F(ShowMessageDlgTest, DelayedErrorIsAnInformationThatClosesByTimerOrAnyKey)
{
    BoxView v;
    TModalResult r = ShowBox([] { return ErrorDialog("Task file not found", 5); },
                             [&](QWidget* w) {
                                 v = Inspect(w);
                                 QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_A);
                             });
    EXPECT_EQ("Information", v.Title);
    EXPECT_EQ(5000, v.Interval);
    EXPECT_EQ(mrCancel, r);

    // The timer closes it without any key.
    r = ShowBox([] { return ErrorDialog("Task file not found", 5); },
                [](QWidget* w) {
                    auto* timer = w->findChild<QTimer*>(QStringLiteral("Timer"));
                    if (timer && timer->isActive())
                        timer->start(1);
                });
    EXPECT_EQ(mrCancel, r);
}

TEST_F(ShowMessageDlgTest, CustomBoxIsAHintBubbleWithoutIconAndButtons)
{
    BoxView v;
    const TModalResult r = ShowBox([] { return MsgDialog("0123456789", mdtCustom); },
                                   [&](QWidget* w) {
                                       v = Inspect(w);
                                       QTest::keyClick(w, Qt::Key_Space);
                                   });
    EXPECT_EQ("Information", v.Title);
    EXPECT_FALSE(v.Icon);
    EXPECT_EQ("", v.Close);
    EXPECT_EQ("", v.Center);
    EXPECT_EQ(3200, v.Interval);
    EXPECT_EQ(mrCancel, r);
}

TEST_F(ShowMessageDlgTest, EmptyTextShowsNothing)
{
    EXPECT_EQ(mrNone, ErrorDialog(""));
    EXPECT_FALSE(ConfirmDialog(""));
    EXPECT_TRUE(MsgDialogLog().empty());
}

TEST_F(ShowMessageDlgTest, LongLineWidensTheBoxAndShortTextKeepsRoomForButtons)
{
    int wideWidth = 0, shortWidth = 0, buttonsRight = 0;
    ShowBox([] { return ConfirmYesNoDialogAt(DefaultFormPos, "short\r\n" + std::string(150, 'W'), mbYes); },
            [&](QWidget* w) {
                wideWidth = w->width();
                QTest::keyClick(w, Qt::Key_Escape);
            });
    ShowBox([] { return ConfirmYesNoDialogAt(DefaultFormPos, "Hi", mbYes); },
            [&](QWidget* w) {
                shortWidth = w->width();
                auto* left = Find<QPushButton>(w, "btLeft");
                buttonsRight =
                    left->x() >= 0 && Find<QPushButton>(w, "btClose")->geometry().right() < w->width();
                QTest::keyClick(w, Qt::Key_Escape);
            });
    EXPECT_GT(wideWidth, QFontMetrics(QApplication::font()).horizontalAdvance(QString(150, 'W')));
    EXPECT_LT(shortWidth, wideWidth);
    EXPECT_TRUE(buttonsRight);
}

TEST_F(ShowMessageDlgTest, QueuedAnswersAreTakenInOrderWithoutShowingABox)
{
    QueueMsgDialogAnswer(mrYes);
    QueueMsgDialogAnswer(mrNo);
    EXPECT_TRUE(ConfirmDialog("First?"));
    EXPECT_FALSE(ConfirmDialog("Second?"));
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("First?", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtConfirm, MsgDialogLog()[1].DlgType);
}

TEST_F(ShowMessageDlgTest, UnattendedAnswerIsTheEscapeAnswer)
{
    EXPECT_EQ(mrNo, UnattendedResult(mdtConfirm));
    EXPECT_EQ(mrCancel, UnattendedResult(mdtConfirmYesNo));
    EXPECT_EQ(mrCancel, UnattendedResult(mdtError));
}

TEST_F(ShowMessageDlgTest, F11InADialogShowsTheFocusedControlsHint)
{
    TDialogBase dlg;
    auto* edit = new QLineEdit(&dlg);
    edit->setToolTip(QStringLiteral("Type the name"));
    auto* plain = new QLineEdit(&dlg);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(edit);
    layout->addWidget(plain);
    BoxView bubble;
    std::string bubbleText;
    WhenModal([&](QWidget* w) {
        edit->setFocus();
        WhenModalOtherThan(w, [&](QWidget* b) {
            bubble = Inspect(b);
            bubbleText = StdStr(Find<QLabel>(b, "stInfo")->text());
            QTest::keyClick(b, Qt::Key_X);
            QTimer::singleShot(0, &dlg, [&] {
                plain->setFocus();
                QTest::keyClick(plain, Qt::Key_F11); // no hint: nothing opens
                dlg.reject();
            });
        });
        QTest::keyClick(edit, Qt::Key_F11);
    });
    dlg.exec();
    EXPECT_EQ("Type the name", bubbleText);
    EXPECT_FALSE(bubble.Icon);
}

TEST_F(ShowMessageDlgTest, WithoutAWindowSystemEveryBoxAnswersAsNobodyPresent)
{
    // The test program itself, started without its QApplication.
    const std::string cmd = "/proc/" + std::to_string(::getpid()) + "/exe --headless-probe 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    EXPECT_EQ(0, ::pclose(p));
    EXPECT_NE(std::string::npos, out.find("Vastrel: Overwrite?"));
    EXPECT_NE(std::string::npos, out.find("Vastrel: Disk full"));
    EXPECT_NE(std::string::npos, out.find("confirm=0 error=2 password=2 kept"));
}
