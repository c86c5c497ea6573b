#pragma once
// Editing a multi-line text, or a comma-separated list one item per line.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QLabel;
class QPlainTextEdit;

class TMemoDialog : public TDialogBase
{
public:
    explicit TMemoDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText,
                 bool UseCommaText);

private:
    QLabel* Descriptor;
    QPlainTextEdit* Memo;
};

bool EditCommaList(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText);
bool EditMultiLineText(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                       std::string& AText);
