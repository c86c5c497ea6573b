#include "backup/gui/TaskDialogBase.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVariant>

#include "foundation/BuConsts.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/QvUtilsForms.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

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

TCopyLocationGroup NewCopyLocationGroup(QWidget* dialog, const QString& caption, bool withDate)
{
    TCopyLocationGroup g{};
    g.Box = new QGroupBox(caption, dialog);
    g.Box->setObjectName(QStringLiteral("gbLocation"));
    auto radio = [&](const char* name, const char* text) {
        auto* rb = new QRadioButton(TrQ(text), g.Box);
        rb->setObjectName(QString::fromLatin1(name));
        return rb;
    };
    g.None = radio("rbNone", "Leave in original directory");
    g.SubDir = radio("rbSubDir", "Move to subdirectory");
    g.SepDir = radio("rbSepDir", "Move to separate directory");
    g.RootDir = radio("rbRootDir", "Move to subdirectory in root");
    if (withDate) {
        g.RootDate = new QCheckBox(TrQ("Separated by backup date"), g.Box);
        g.RootDate->setObjectName(QStringLiteral("cbRootDate"));
    }
    g.RootDrive = new QCheckBox(TrQ("Separated by drive"), g.Box);
    g.RootDrive->setObjectName(QStringLiteral("cbRootDrive"));
    g.PrefixLabel = new QLabel(TrQ("Directory prefix:"), g.Box);
    g.PrefixLabel->setObjectName(QStringLiteral("laPrefix"));
    g.Prefix = new QLineEdit(g.Box);
    g.Prefix->setObjectName(QStringLiteral("edPrefix"));
    g.Prefix->setToolTip(TrQ("Prefix of the directory name"));
    g.PrefixLabel->setBuddy(g.Prefix);
    g.Dir = new QLineEdit(g.Box);
    g.Dir->setObjectName(QStringLiteral("edtDir"));
    g.Dir->setReadOnly(true);
    g.Dir->setToolTip(TrQ("Suffix of the directory name"));
    auto* group = new QButtonGroup(dialog);
    auto* loc = new QGridLayout(g.Box);
    int row = 0;
    for (QRadioButton* rb : {g.None, g.SubDir, g.SepDir, g.RootDir}) {
        group->addButton(rb);
        loc->addWidget(rb, row++, 0, 1, 3);
    }
    auto* checks = new QHBoxLayout;
    checks->setContentsMargins(20, 0, 0, 0);
    if (g.RootDate)
        checks->addWidget(g.RootDate);
    checks->addWidget(g.RootDrive);
    checks->addStretch(1);
    loc->addLayout(checks, row++, 0, 1, 3);
    loc->addWidget(g.PrefixLabel, row, 0);
    loc->addWidget(g.Prefix, row, 1);
    loc->addWidget(g.Dir, row, 2);
    loc->setColumnStretch(1, 1);
    loc->setColumnStretch(2, 1);
    return g;
}

bool CheckPasswordPair(QLineEdit* pwd, QLineEdit* repeat, int minLen, bool emptyAllowed)
{
    const int length = static_cast<int>(pwd->text().toUcs4().size());
    const bool tooShort = length < minLen && !(emptyAllowed && length == 0);
    if (!tooShort && pwd->text() == repeat->text())
        return true;
    if (tooShort) {
        pwd->setFocus();
        ErrorDialog(SafeFormat(_("Minimum length of password is %u characters"), {minLen}));
    } else {
        repeat->setFocus();
        ErrorDialog(_("Passwords do not match!"));
    }
    return false;
}

QPushButton* PlaceholderButton(QWidget* parent, const char* name, const char* caption, const char* hint,
                               QLineEdit* target)
{
    auto* b = new QPushButton(QStr(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(TrQ(hint));
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, b, [target, text = std::string(caption)] {
        GuardSlot([&] { AppendToEdit(target, text); });
    });
    return b;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    return e;
}
