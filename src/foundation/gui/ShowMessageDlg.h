#pragma once
// The program's message box: an icon, a text that sizes the window, up to three buttons with fixed
// captions and results, and an optional timer that closes it by itself. Without buttons (mdtCustom)
// it is the self-closing hint bubble that F11 shows.
//
// Who answers: tests queue the next answers (QueueMsgDialogAnswer), which are taken instead of
// showing a box; without a QApplication (batch runs) nobody is present: the text goes to the standard
// error output and every box answers as its Esc key would (the cautious answer).

#include <QDialog>
#include <QPoint>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

enum TMsgDialogType
{
    mdtInformation,
    mdtWarning,
    mdtError,
    mdtConfirm,
    mdtConfirmError,
    mdtConfirmRetry,
    mdtConfirmCancel,
    mdtConfirmYesNo,
    mdtCustom
};

enum TMsgDlgBtn
{
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};

enum TDefaultMonitor
{
    dmDesktop,
    dmPrimary,
    dmMainForm,
    dmActiveForm
};

class TShowMsgDialog : public QDialog
{
public:
    explicit TShowMsgDialog(QWidget* parent = nullptr);
    // Shows the box modally; mrNone for an empty text (nothing is shown).
    TModalResult Execute(const QPoint& APos, const std::string& AHint, int Delay, TMsgDialogType DlgType,
                         TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor);
    // The timer interval in ms the box uses (0: none).
    int TimerInterval() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void SetButton(QPushButton* b, const QString& caption, int glyph, TModalResult result, bool isDefault);
    bool HandleKey(QKeyEvent* event);
    QLabel* imgIcon;
    QLabel* stInfo;
    QPushButton* btLeft;
    QPushButton* btCenter;
    QPushButton* btClose;
    QTimer* Timer;
    bool RunTimer = false;
};

// One answered or shown request, as the test hook and the headless mode record them.
struct TMsgDialogRequest
{
    TMsgDialogType DlgType;
    std::string Text;
    int Delay;
    TMsgDlgBtn DefaultButton;
    TModalResult Result;
};

// The next box is not shown but answered with result (first in, first out).
void QueueMsgDialogAnswer(TModalResult result);
// Requests answered from the queue or headless, oldest first; ClearMsgDialogLog empties log and queue.
const std::vector<TMsgDialogRequest>& MsgDialogLog();
void ClearMsgDialogLog();
// The answer of a box that nobody answers: the result of its Esc key.
TModalResult UnattendedResult(TMsgDialogType DlgType);

TModalResult ExecuteMsgDialog(const QPoint& APos, const std::string& AText, int Delay, TMsgDialogType DlgType,
                              TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor);
TModalResult MsgDialog(const std::string& AText, TMsgDialogType DlgType);
TModalResult ErrorDialog(const std::string& AText, int Delay = 0);
TModalResult ErrorDialogAt(const QPoint& APos, const std::string& AText,
                           TDefaultMonitor AMonitor = dmActiveForm);
TModalResult InfoDialog(const std::string& AText, int Delay = 0);
TModalResult InfoDialogAt(const QPoint& APos, const std::string& AText,
                          TDefaultMonitor AMonitor = dmActiveForm);
bool ConfirmDialog(const std::string& AText);
bool ConfirmDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton = mbYes,
                     TDefaultMonitor AMonitor = dmActiveForm);
bool ConfirmCancelDialog(const std::string& AText);
bool ConfirmErrorDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton = mbYes,
                          TDefaultMonitor AMonitor = dmActiveForm);
bool ConfirmRetryDialog(const std::string& AText);
bool ConfirmRetryDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton = mbYes,
                          TDefaultMonitor AMonitor = dmActiveForm);
TModalResult ConfirmYesNoDialogAt(const QPoint& APos, const std::string& AText,
                                  TMsgDlgBtn DefaultButton = mbYes, TDefaultMonitor AMonitor = dmActiveForm);
