#include "foundation/gui/GuiUtils.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <cstdio>

#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/SysUtils.h"

void ReportGuiException(const std::exception* e) noexcept
{
    try {
        std::string text;
        if (const auto* ex = dynamic_cast<const Exception*>(e))
            text = ex->Message();
        else if (e)
            text = e->what();
        else
            text = _("Unknown error");
        std::fprintf(stderr, "Vastrel: %s\n", text.c_str());
        ErrorDialog(text, 0);
    } catch (...) {
        std::fputs("Vastrel: error while reporting an error\n", stderr);
    }
}

QString ControlHint(const QWidget* w)
{
    return w ? w->toolTip() : QString();
}

TDialogBase::TDialogBase(QWidget* parent) : QDialog(parent) {}

QString TDialogBase::FocusedHint() const
{
    return ControlHint(focusWidget());
}

void TDialogBase::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        GuardSlot([this] {
            const QString hint = FocusedHint();
            if (!hint.isEmpty())
                MsgDialog(StdStr(hint), mdtCustom);
        });
        return;
    }
    QDialog::keyPressEvent(event);
}
