#pragma once
// Small widget helpers shared by the scheduling dialogs.

#include <QString>
#include <QStringList>

#include "rtl/DateTime.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QSpinBox;
class QTimeEdit;
class QWidget;

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& text);
QSpinBox* NewSpin(QWidget* parent, const char* name, int min, int max);
QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items);
// The suite's picker formats as Qt display formats.
QString DatePickerQtFormat();
QString TimePickerQtFormat();
void SetPickerDate(QDateEdit* e, TDateTime dt);
void SetPickerTime(QTimeEdit* e, TDateTime dt);
TDateTime PickerDate(const QDateEdit* e); // the date without time
TDateTime PickerTime(const QTimeEdit* e); // the time of day (whole seconds)
