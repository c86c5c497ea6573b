#pragma once
// Self-drawn progress bars: TCustomProgress moves a stripe pattern on a timer; TNewProgressBar shows a
// position between Min and Max (npsNormal) or, while the amount of work is open, a bar that runs back
// and forth (npsReverse) or left to right and starts again (npsContinuous).

#include <QColor>
#include <QRect>
#include <QWidget>
#include <cstdint>

class QTimer;

enum TProgressStatus
{
    psOn,
    psOff,
    psNudge
};

enum TNewProgressBarStyle
{
    npsNormal,
    npsReverse,
    npsContinuous
};

class TCustomProgress : public QWidget
{
    Q_OBJECT
public:
    explicit TCustomProgress(QWidget* parent = nullptr);
    void Start() { SetProgressStatus(psOn); }
    void Stop() { SetProgressStatus(psOff); }
    // Disables or enables the timer without changing the status.
    void Pause(bool Paused);
    // One nudge in status psNudge; every (Interval + 1)-th nudge makes a step.
    void Nudge();
    // One animation step (what a timer tick does).
    void Step();
    TProgressStatus ProgressStatus() const { return FProgressStatus; }
    void SetProgressStatus(TProgressStatus value);
    bool TimerActive() const;
    QColor BarColor() const { return FProgressForeColor; }
    void SetBarColor(const QColor& c);
    QColor BackColor() const { return FProgressBackColor; }
    void SetBackColor(const QColor& c);
    int Interval() const { return FProgressInterval; }
    void SetInterval(int value);
    int Increment() const { return FIncr; }
    void SetIncrement(int value) { FIncr = value; }
    int Offset() const { return FProgressCurrent; }
    QSize sizeHint() const override { return {150, 14}; }

signals:
    void OnIncrement();

protected:
    void paintEvent(QPaintEvent* event) override;
    TProgressStatus FProgressStatus = psOff;
    QTimer* FProgressTimer;
    QColor FProgressForeColor{0, 0, 0xFF};
    QColor FProgressBackColor{0xFF, 0, 0};
    int FProgressInterval = 10;
    int FProgressCurrent = 0;
    int FIncr = 2;
    int NudgeCounter = 0;
};

class TNewProgressBar : public TCustomProgress
{
    Q_OBJECT
public:
    explicit TNewProgressBar(QWidget* parent = nullptr);
    void Reset();
    int Position() const { return FPos; }
    void SetPosition(int v);
    int Min() const { return FMin; }
    void SetMin(int v);
    int Max() const { return FMax; }
    void SetMax(int v);
    int BarWidth() const { return FBarWidth; }
    void SetBarWidth(int v);
    int Border() const { return FBorder; }
    void SetBorder(int v);
    bool Flat() const { return FFlat; }
    void SetFlat(bool v);
    bool Transparent() const { return FTrans; }
    void SetTransparent(bool v);
    TNewProgressBarStyle Style() const { return FStyle; }
    void SetStyle(TNewProgressBarStyle v);
    bool BarForward() const { return FBarFwd; }
    // The filled part as the next paint draws it (x from left to right edge, exclusive).
    QRect BarRect();
    QSize sizeHint() const override { return {151, 11}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int Inset() const;
    int FBarWidth = 50;
    int FBorder = 1;
    int FPos = 0;
    int FMin = 0;
    int FMax = 100;
    bool FBarFwd = true;
    bool FFlat = true;
    bool FTrans = true;
    TNewProgressBarStyle FStyle = npsNormal;
};
