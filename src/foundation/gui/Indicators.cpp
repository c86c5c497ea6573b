#include "foundation/gui/Indicators.h"

#include <QEvent>
#include <QPainter>

#include "foundation/gui/StyleUtils.h"

TCustomIndicator::TCustomIndicator(QWidget* parent) : QWidget(parent)
{
    resize(16, 16);
}

void TCustomIndicator::SetColorOff(const QColor& c)
{
    FColorOff = c;
    update();
}

void TCustomIndicator::SetColorOn(const QColor& c)
{
    FColorOn = c;
    update();
}

void TCustomIndicator::SetIndicate(bool v)
{
    FIndicate = v;
    update();
}

QColor TCustomIndicator::CentreColor() const
{
    return FIndicate ? FColorOn : FColorOff;
}

void TCustomIndicator::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

TSpotIndicator::TSpotIndicator(QWidget* parent) : TCustomIndicator(parent)
{
    FColorOff = ColorFromTColor(0xFFFFFF);
    FColorOn = ColorFromTColor(0x0000FF);
}

void TSpotIndicator::SetBorder(int v)
{
    FBorder = v;
    update();
}

QColor TSpotIndicator::CentreColor() const
{
    if (!isEnabled())
        return palette().color(QPalette::Button);
    return TCustomIndicator::CentreColor();
}

void TSpotIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(Qt::white);
    p.drawEllipse(0, 0, h - 1, h - 1);
    p.setPen(QColor(0xC0, 0xC0, 0xC0));
    p.drawPie(0, 0, h - 1, h - 1, 225 * 16, 180 * 16);
    p.setBrush(Qt::white);
    p.drawEllipse(1, 1, h - 3, h - 3);
    const int b = FBorder;
    p.setPen(Qt::NoPen);
    p.setBrush(CentreColor());
    p.drawEllipse(b + 1, b + 1, h - 2 * b - 2, h - 2 * b - 2);
}

TLamp::TLamp(QWidget* parent) : TCustomIndicator(parent)
{
    FColorOff = ColorFromTColor(0x808080);
    FColorOn = ColorFromTColor(0x1BBCE4);
    FIndicate = true;
}

void TLamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(CentreColor());
    const int h = height();
    p.drawEllipse(0, 0, h - 2, h - 2);
}
