#include "backup/gui/TaskDialogBase.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVariant>

#include "foundation/BuConsts.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/QvUtilsForms.h"
#include "foundation/gui/WinUtils.h"

TTaskDialogBase::TTaskDialogBase(const char* helpTopic, QWidget* parent)
    : TDialogBase(parent), FHelpTopic(helpTopic)
{
}

void TTaskDialogBase::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && !FHelpTopic.empty()) {
        GuardSlot([this] { OpenHelpTopic(FHelpTopic); });
        return;
    }
    TDialogBase::keyPressEvent(event);
}

void TTaskDialogBase::reject()
{
    for (TRangeEdit* edit : findChildren<TRangeEdit*>())
        edit->SetRangeCheck(false);
    TDialogBase::reject();
}

void TTaskDialogBase::showEvent(QShowEvent* event)
{
    GuardSlot([this] {
        for (TRangeEdit* edit : findChildren<TRangeEdit*>())
            edit->SetRangeCheck(true);
        SetShowHints(this, ProgSettings.ViewSettings.ShowToolTips);
    });
    TDialogBase::showEvent(event);
}

QString StoredHint(const QWidget* w)
{
    if (!w)
        return {};
    if (!w->toolTip().isEmpty())
        return w->toolTip();
    const QVariant saved = w->property("savedToolTip");
    return saved.isValid() ? saved.toString() : QString();
}

QString TTaskDialogBase::FocusedHint() const
{
    const QWidget* w = focusWidget();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w); edit && !edit->placeholderText().isEmpty())
        return edit->placeholderText();
    return StoredHint(w);
}

TRangeEdit* NewRangeEdit(QWidget* parent, const char* name, int min, int max, int value)
{
    auto* edit = new TRangeEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->SetMinValue(min);
    edit->SetMaxValue(max);
    edit->SetValue(value);
    edit->setMaximumWidth(70);
    return edit;
}

void PlaceDialog(QDialog* dialog, const QPoint& APos)
{
    dialog->adjustSize();
    PlaceFormAt(dialog, APos);
}
