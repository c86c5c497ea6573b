#include "foundation/gui/GuiUtils.h"

#include <QApplication>
#include <QBoxLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
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

bool GuiAvailable()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
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

TOkCancel AddOkCancel(QDialog* dialog, QBoxLayout* layout, const QString& okText)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new QPushButton(okText.isEmpty() ? TrQ("OK") : okText, dialog);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(TrQ("Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    cancel->setAutoDefault(false);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {ok, cancel};
}
