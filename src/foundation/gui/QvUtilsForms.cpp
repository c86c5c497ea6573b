#include "foundation/gui/QvUtilsForms.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <cmath>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/WinUtils.h"

namespace {
const char* const HintsProperty = "savedToolTip";

int ScreenDpi(const QScreen* s)
{
    return s ? static_cast<int>(std::lround(s->logicalDotsPerInch())) : 96;
}
} // namespace

void RestoreFormPos(TFormPos& Pos, QWidget* Form)
{
    if (!Form)
        return;
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* screen = QGuiApplication::primaryScreen();
    int x = Pos.xprim, y = Pos.yprim;
    if (screens.size() > 1) {
        x = Pos.xmult;
        y = Pos.ymult;
        if (QScreen* at = QGuiApplication::screenAt({x, y}))
            screen = at;
    }
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (area.width() - 100 < Pos.w)
        Pos.w = area.width() - 100;
    if (area.height() - 100 < Pos.h)
        Pos.h = area.height() - 100;
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    if (x + Pos.w > right)
        x = right - Pos.w - 50;
    if (x <= area.x())
        x = area.x() + 50;
    if (y + Pos.h > bottom)
        y = bottom - Pos.h - 50;
    if (y <= area.y())
        y = area.y() + 50;
    Form->move(x, y);
    if (ScreenDpi(screen) == Pos.dpi && Pos.w > 0 && Pos.h > 0)
        Form->resize(Pos.w, Pos.h);
    else {
        Pos.w = Form->width();
        Pos.h = Form->height();
    }
    Pos.wdiff = Form->width() - Pos.w;
}

void SaveFormPos(TFormPos& Pos, const QWidget* Form)
{
    if (!Form || !Form->isVisible())
        return;
    if (QGuiApplication::screens().size() > 1) {
        Pos.xmult = Form->x();
        Pos.ymult = Form->y();
    } else {
        Pos.xprim = Form->x();
        Pos.yprim = Form->y();
    }
    Pos.w = Form->width();
    Pos.h = Form->height();
}

void SetShowHints(QWidget* Control, bool Value)
{
    if (!Control)
        return;
    for (QWidget* w : Control->findChildren<QWidget*>()) {
        if (!Value) {
            if (!w->toolTip().isEmpty()) {
                w->setProperty(HintsProperty, w->toolTip());
                w->setToolTip(QString());
            }
        } else if (w->property(HintsProperty).isValid()) {
            w->setToolTip(w->property(HintsProperty).toString());
            w->setProperty(HintsProperty, QVariant());
        }
    }
}

int ScaleToMonitor(int Value, const QWidget* Form)
{
    return ScaleToFormDpi(Value, Form);
}

void AppendToEdit(QLineEdit* Edit, const std::string& Text)
{
    if (!Edit)
        return;
    Edit->setText(Edit->text() + QStr(Text));
    Edit->setFocus();
    Edit->deselect();
    Edit->setCursorPosition(static_cast<int>(Edit->text().size()));
}

void AddComboHistory(QComboBox* Combo, const std::string& Text)
{
    if (Combo)
        AddToHistoryCombo(Combo, Text);
}

void UpdateComboHistory(QComboBox* Combo)
{
    if (Combo)
        AddToHistoryCombo(Combo, StdStr(Combo->currentText()));
}
