#pragma once
// The progress and result window of backup, verify, restore and cleanup runs: one window for the
// program's life. A run opens it with ShowProgress, feeds it through its setters and ends it with
// ShowStatus (the result view, which may wait for the user and returns a result code) or Terminate.
//
// The setters only store into the shared record UpdateStatus under a lock, so a run on its own
// thread may call them; the window draws the record on its 100 ms timer. Everything else runs on
// the window's thread. The user's commands (pause, cancel, minimise, stop waiting for an external
// program) go to the run's TRunControl, which the run polls at its checkpoints.

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "archive/CBFunctions.h"
#include "backup/EngineInterfaces.h"
#include "foundation/gui/Prgrss.h"
#include "rtl/DateTime.h"

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

// What the next refresh shows.
struct TUpdateStatus
{
    std::string Subject, Action, Hinweis, Status1, Status2, Speed, ElapsedTime, TotAmount;
    int64_t FSize = 0; // size of the current item, or the file count for acZipVerify
    int Single = 0;    // per-item percent
    int Total = 0;     // total percent
};

// Radio-group index 1..4 gives 9..12 (shut down, log off, standby, hibernate); every other index 1.
int SelectedActionToResult(int ItemIndex);
// "is being copied" and the other texts of an action; empty for acNone.
std::string FileActionText(TFileAction Action);
// Whole hours with at least two digits, ":" and "nn:ss".
std::string ElapsedTimeText(TDateTime Value);

class TZeigFortschritt : public QDialog
{
    Q_OBJECT
public:
    explicit TZeigFortschritt(QWidget* parent = nullptr);
    ~TZeigFortschritt() override;

    // Opens the window for a run whose commands go to control. A negative Wait runs without a
    // visible window.
    void ShowProgress(TRunControl* control, const std::string& Task, const std::string& Desc,
                      const std::string& Dest, TProgressOptions AOptions, int SelectedAction, int Wait,
                      bool Swapped);
    void UpdatePrompt(TSourceSelection ASource, const std::string& AHint, const std::string& APrompt,
                      int64_t FileSize);
    // Status line 1 or 2 (the primary index is 2 when the run was opened swapped).
    void WriteStatus(int Index, const std::string& AText);
    // The result view; returns the result code (1, 7, 9..13, +256 when Log was pressed).
    int ShowStatus(TResultStatus Mode, const std::string& Hinweis, const std::string& AStatus1,
                   const std::string& AStatus2, int32_t AColor, int Wait);
    // Ends a run without a result view; returns the code of the selected after-run action.
    int Terminate();
    // Closes a waiting result view from outside (any thread).
    void CloseStatus();
    // Hides the window of a run without asking (the run ends or stops before it began).
    void CloseView();
    // The run's questions in front of the window, with LockStatus 1 while they are open.
    bool Confirm(const std::string& Msg);
    void ShowError(const std::string& Msg, int Delay = 0);
    int GetPassword(const std::string& Title, const std::string& Prompt, bool Skip, std::string& Pwd);

    void LoadFromIni(const std::string& AIniName);
    void SaveToIni();
    void ResetPosition();
    void ResetSize();
    void WriteVersion(const std::string& AVersion, const std::string& AUser);
    // Draws UpdateStatus into the controls.
    void UpdateView();

    // ---- setters (any thread)
    void SetTitel(const std::string& Value);
    void SetDescription(const std::string& Value);
    void SetDestination(const std::string& Value);
    void SetPrompt(const std::string& Value);
    void SetActionHint(const std::string& Value);
    void SetSourceType(TSourceSelection Value);
    void SetAction(TFileAction Value);
    void SetSpeed(const std::string& Value);
    void SetTotalAmount(const std::string& Value);
    void SetStepAmount(int64_t Value);
    void SetElapsedTime(TDateTime Value);
    TNewProgressBarStyle StepStyle() const;
    void SetStepStyle(TNewProgressBarStyle Value);
    void SetStepProgress(int Value);
    void SetTotalProgress(int Value);
    void SetTempTotalProgress(int Value);
    void UpdateTotalProgress(int Value);
    void SetPauseEnabled(bool Value);
    int LockStatus() const;
    void SetLockStatus(int Value);

    // A copy of what the next refresh shows.
    TUpdateStatus Snapshot() const;
    std::string TaskDescription() const { return TaskDesc; }

    // Flags that the run and the main window read or set.
    std::atomic<bool> Minimized{false};
    std::atomic<bool> IsActive{false};
    std::atomic<bool> Stopped{false};
    std::atomic<bool> Paused{false};
    std::atomic<bool> AutoUpdate{false};
    bool ShowOnTop = false;

    // What the main window knows: backups at logoff or shutdown ignore Cancel, sounds are allowed,
    // the number of this process in a parallel run.
    bool IdleBackup = false;
    bool SoundOn = true;
    int QvInstance = 0;
    // The taskbar button's progress, where the desktop shows one: the state (0 none,
    // 1 indeterminate, 2 normal, 8 paused) and the position of a maximum.
    std::function<void(int)> OnTaskBarState;
    std::function<void(int, int)> OnTaskBarProgress;
    // Called after every refresh of the timer (tests record what the window shows).
    std::function<void()> OnRefresh;

    // The countdown's one-second step (what the wait timer does).
    void WaitTick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void ButtonClick();
    void PauseBtnClick();
    void MinimizeBtnClick();
    void ViewLogClick();
    void ShowTotalInfo();
    void UpdateTimer();
    void ResetView();
    void ApplyContentHeight();
    void ArrangeActions(int columns);
    void PlaceWindow();
    void SetGlyph(QPushButton* button, int index);
    void SetTaskBarState(int state);
    void UpdateTaskBar();
    void RunOnGui(std::function<void()> fn);
    int Scaled(int value) const;
    QString ShortenedItem(const QString& text, int space) const;

    QLabel* laDesc;
    QLabel* ZielLabel;
    QLabel* FileLabel;
    QLabel* ActionLabel;
    QLabel* HinweisLabel;
    QLabel* FilePercentLabel;
    TNewProgressBar* EinzelBalken;
    QLabel* TotalLabel;
    QLabel* StatusLabel1;
    QLabel* StatusLabel2;
    QLabel* TotalPercentLabel;
    TNewProgressBar* GesamtBalken;
    QLabel* SpeedLabel;
    QLabel* VersionLabel;
    QLabel* UserLabel;
    QWidget* ProgressPanel;
    QGroupBox* rgAction;
    QGridLayout* rgLayout;
    QButtonGroup* rgButtons;
    QCheckBox* cbRepeat;
    QPushButton* Button;
    QPushButton* ViewLog;
    QPushButton* MinimizeBtn;
    QPushButton* PauseBtn;
    QTimer* tmUpdate;
    QTimer* tmWait;

    mutable std::mutex FLock; // guards UpdateStatus, LastTotal, FAction, FSource
    TUpdateStatus UpdateStatus;
    int LastTotal = 0;
    TFileAction FAction = acNone;
    TSourceSelection FSource = ssNoSrc;
    bool UseFirstStatus = true;
    bool SwappedStatus = false;

    std::string FIniName;
    QString ATitel;
    std::string TaskDesc;
    int DefWidth = 0;
    int Top1 = 50, Left1 = 50, Top2 = 50, Left2 = 50;
    int SelAction = 0;
    int CloseCount = 0;
    int RgColumns = 5;
    std::atomic<int> FLockStatus{0};
    std::atomic<bool> CloseWin{false};
    bool IsBackup = false;
    bool IsAutoTask = false;
    bool ShowLog = false;
    bool InResultView = false;
    TRunControl* FControl = nullptr;
    TNewProgressBarStyle FStepStyle = npsNormal;
};
