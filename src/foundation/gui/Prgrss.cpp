#include "foundation/gui/Prgrss.h"

#include <QPainter>
#include <QPolygon>
#include <QTimer>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"

TCustomProgress::TCustomProgress(QWidget* parent) : QWidget(parent), FProgressTimer(new QTimer(this))
{
    FProgressTimer->setInterval(FProgressInterval);
    connect(FProgressTimer, &QTimer::timeout, this, [this] { GuardSlot([this] { Step(); }); });
    resize(150, 14);
}

void TCustomProgress::SetProgressStatus(TProgressStatus value)
{
    if (value == FProgressStatus)
        return;
    FProgressStatus = value;
    if (value == psOn)
        FProgressTimer->start();
    else
        FProgressTimer->stop();
    if (value == psNudge)
        NudgeCounter = 0;
    update();
}

bool TCustomProgress::TimerActive() const
{
    return FProgressTimer->isActive();
}

void TCustomProgress::Pause(bool Paused)
{
    if (Paused)
        FProgressTimer->stop();
    else if (FProgressStatus == psOn)
        FProgressTimer->start();
}

void TCustomProgress::Nudge()
{
    if (FProgressStatus != psNudge)
        return;
    if (++NudgeCounter > FProgressInterval) {
        Step();
        NudgeCounter = 0;
    }
}

void TCustomProgress::Step()
{
    FProgressCurrent += FIncr;
    emit OnIncrement();
    update();
}

void TCustomProgress::SetBarColor(const QColor& c)
{
    FProgressForeColor = c;
    update();
}

void TCustomProgress::SetBackColor(const QColor& c)
{
    FProgressBackColor = c;
    update();
}

void TCustomProgress::SetInterval(int value)
{
    if (value == FProgressInterval)
        return;
    FProgressInterval = value;
    FProgressTimer->setInterval(std::max(1, value));
}

void TCustomProgress::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int h = height(), w = width();
    if (FProgressCurrent >= 2 * h)
        FProgressCurrent = 0;
    p.fillRect(0, 0, w, h, FProgressBackColor);
    p.setPen(Qt::NoPen);
    p.setBrush(FProgressForeColor);
    for (int x = 0; x <= w + h; ++x) {
        if (x % (2 * h) != 0)
            continue;
        const int s = x + FProgressCurrent;
        p.drawPolygon(
            QPolygon({QPoint(s - h, 1), QPoint(s, 1), QPoint(s - h, h - 1), QPoint(s - 2 * h, h - 1)}));
    }
}

TNewProgressBar::TNewProgressBar(QWidget* parent) : TCustomProgress(parent)
{
    FProgressForeColor = ColorFromTColor(0xA07000);
    FProgressBackColor = palette().color(QPalette::Button);
    resize(151, 11);
}

void TNewProgressBar::Reset()
{
    switch (FStyle) {
    case npsNormal:
        FPos = 0;
        SetProgressStatus(psOff);
        break;
    case npsReverse:
        SetProgressStatus(psOn);
        FProgressCurrent = 0;
        FBarFwd = true;
        break;
    case npsContinuous:
        SetProgressStatus(psOn);
        FProgressCurrent = FBarWidth / 10;
        break;
    }
    update();
}

void TNewProgressBar::SetPosition(int v)
{
    if (v != FPos) {
        FPos = v;
        update();
    }
}

void TNewProgressBar::SetMin(int v)
{
    if (v != FMin) {
        FMin = v;
        update();
    }
}

void TNewProgressBar::SetMax(int v)
{
    if (v != FMax) {
        FMax = v;
        update();
    }
}

void TNewProgressBar::SetBarWidth(int v)
{
    if (v != FBarWidth) {
        FBarWidth = v;
        update();
    }
}

void TNewProgressBar::SetBorder(int v)
{
    if (v != FBorder) {
        FBorder = v;
        update();
    }
}

void TNewProgressBar::SetFlat(bool v)
{
    if (v != FFlat) {
        FFlat = v;
        update();
    }
}

void TNewProgressBar::SetTransparent(bool v)
{
    if (v != FTrans) {
        FTrans = v;
        update();
    }
}

void TNewProgressBar::SetStyle(TNewProgressBarStyle v)
{
    if (v != FStyle) {
        FStyle = v;
        Reset();
    }
}

int TNewProgressBar::Inset() const
{
    int a = 1 + FBorder;
    if (a > height() / 2)
        a = height() / 2 - 1;
    return a;
}

QRect TNewProgressBar::BarRect()
{
    const int w = width(), h = height(), a = Inset();
    int x1 = a, x2 = a;
    switch (FStyle) {
    case npsNormal:
        x2 = FMax == FMin ? a : a + MulDiv(FPos - FMin, w - 2 * a, FMax - FMin);
        break;
    case npsReverse:
        if (FProgressCurrent >= w - FBarWidth - 2) {
            FProgressCurrent = 0;
            FBarFwd = !FBarFwd;
        }
        x1 = FBarFwd ? a + FProgressCurrent : w - FBarWidth - a - FProgressCurrent;
        x2 = x1 + FBarWidth;
        break;
    case npsContinuous:
        if (FProgressCurrent >= w + FBarWidth - FBarWidth / 10)
            FProgressCurrent = FBarWidth / 10;
        x1 = FProgressCurrent - FBarWidth;
        if (x1 < 2)
            x1 = a;
        x2 = std::min(FProgressCurrent, w - a);
        break;
    }
    return QRect(QPoint(x1, a), QPoint(x2 - 1, h - a - 1));
}

void TNewProgressBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width(), h = height();
    QColor back = FProgressBackColor;
    QColor bar = FProgressForeColor;
    if (IsStyleActive()) {
        back = palette().color(QPalette::Window);
        bar = palette().color(QPalette::Button);
        auto rgb = [](const QColor& c) {
            return static_cast<int32_t>(c.red() | c.green() << 8 | c.blue() << 16);
        };
        if (ColorDistance(rgb(back), rgb(bar)) < 50)
            bar = palette().color(QPalette::Highlight);
    }
    if (FTrans)
        back = palette().color(backgroundRole());
    p.fillRect(0, 0, w, h, back);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(0, 0, w - 1, h - 1);
    if (!FFlat) {
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(w - 1, 0, w - 1, h - 1);
        p.drawLine(w - 1, h - 1, 0, h - 1);
    }
    const QRect r = BarRect();
    if (r.width() > 0)
        p.fillRect(r, bar);
}
