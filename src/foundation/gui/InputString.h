#pragma once
// Asking for one line of text.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QLabel;
class QLineEdit;

class TInputStringDialog : public TDialogBase
{
public:
    explicit TInputStringDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText);

private:
    QLabel* Descriptor;
    QLineEdit* TextFeld;
    int defWidth;
};

bool AskString(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText);
