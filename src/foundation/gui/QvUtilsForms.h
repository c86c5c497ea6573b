#pragma once
// Saving and restoring window positions over one or several screens, and small helpers the forms of
// the suite share.

#include <QWidget>
#include <string>

#include "foundation/BuConsts.h"
#include "foundation/gui/StyleUtils.h"

class QComboBox;
class QLineEdit;

// Moves the form to its saved position, kept 50 px inside the work area and at most 100 px smaller
// than it; the saved size is used only on a screen with the DPI it was saved with.
void RestoreFormPos(TFormPos& Pos, QWidget* Form);
// Stores the position and size of a visible form (a hidden form changes nothing).
void SaveFormPos(TFormPos& Pos, const QWidget* Form);
// Tool tips on or off for every child control.
void SetShowHints(QWidget* Control, bool Value);
// Value x DPI of the form's screen / 96, rounded.
int ScaleToMonitor(int Value, const QWidget* Form);
template <typename T> T IfStyleActive(T NormalValue, T StyledValue)
{
    return IsStyleActive() ? StyledValue : NormalValue;
}
// Appends Text, focuses the edit and puts the caret at the end.
void AppendToEdit(QLineEdit* Edit, const std::string& Text);
void AddComboHistory(QComboBox* Combo, const std::string& Text);
void UpdateComboHistory(QComboBox* Combo);
