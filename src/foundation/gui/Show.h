#pragma once
// A window that shows a text, e.g. the captured output of an external program.

#include <string>

#include "foundation/gui/GuiUtils.h"

class QPlainTextEdit;
class QWidget;

class TfrmShow : public QDialog
{
public:
    explicit TfrmShow(QWidget* parent = nullptr);
    // Nothing for an empty text. Delay 0: modal with an OK button; otherwise shown without the button
    // for Delay seconds.
    void Execute(const std::string& ATitle, const std::string& AText, int Delay);

private:
    QPlainTextEdit* memShow;
    QWidget* panButtons;
};

void ShowTextBox(const std::string& ATitle, const std::string& AText, int Delay);
