#pragma once
// Small pieces the tools' editors share.

#include <QDate>
#include <QString>

#include "rtl/DateTime.h"

class QBoxLayout;
class QPushButton;
class QRadioButton;
class QWidget;

inline QDate ToQDate(TDateTime t)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(t, y, m, d);
    return QDate(y, m, d);
}

inline TDateTime FromQDate(const QDate& q)
{
    TDateTime t = 0;
    if (!TryEncodeDate(q.year(), q.month(), q.day(), t))
        t = Date();
    return t;
}

QRadioButton* NamedRadio(QWidget* parent, const char* name, const char* caption);
QPushButton* NamedButton(QWidget* parent, const char* name, const char* caption, const char* hint = nullptr);
