#pragma once
// Picking a character (codes 0 to 255) from a 16 x 16 table.

#include <QPoint>
#include <cstdint>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QLineEdit;
class QTableWidget;

class TCharTableDialog : public TDialogBase
{
public:
    explicit TCharTableDialog(QWidget* parent = nullptr);
    // The chosen code, 0 on Cancel.
    uint16_t Execute(const QPoint& APos, const std::string& AFontName);

private:
    void ValueChanged();
    QTableWidget* CharGrid;
    QLineEdit* leValue;
    std::string GridFontName;
};

uint16_t SelectCharacter(const QPoint& APos, const std::string& AFontName);
