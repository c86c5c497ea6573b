#include "scheduling/gui/SchedGuiUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLocale>
#include <QSpinBox>
#include <QTimeEdit>
#include <cmath>

#include "foundation/BuConsts.h"
#include "foundation/gui/GuiUtils.h"

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& text)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QSpinBox* NewSpin(QWidget* parent, const char* name, int min, int max)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(min, max);
    return s;
}

QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(items);
    return c;
}

QString DatePickerQtFormat()
{
    return QStr(DatePickerFormat);
}

QString TimePickerQtFormat()
{
    return QStr(TimePickerFormat).replace(QStringLiteral("tt"), QStringLiteral("AP"));
}

void SetPickerDate(QDateEdit* e, TDateTime dt)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(dt, y, m, d);
    e->setDate(QDate(y, m, d));
}

void SetPickerTime(QTimeEdit* e, TDateTime dt)
{
    int h = 0, mi = 0, s = 0, ms = 0;
    DecodeTime(dt, h, mi, s, ms);
    e->setTime(QTime(h, mi, s));
}

TDateTime PickerDate(const QDateEdit* e)
{
    QDate d = e->date();
    return EncodeDate(d.year(), d.month(), d.day());
}

TDateTime PickerTime(const QTimeEdit* e)
{
    QTime t = e->time();
    return (t.hour() * 3600 + t.minute() * 60 + t.second()) / static_cast<double>(SecsPerDay);
}
