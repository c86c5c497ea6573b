#pragma once
// Picking a placeholder for dates and times, paths, mail subjects, external programs, logs or
// portable devices.

#include <QPoint>
#include <string>
#include <vector>

#include "foundation/gui/GuiUtils.h"

class QGroupBox;
class QRadioButton;
class QStackedWidget;
class TNumUpDown;
class TRangeEdit;

enum TPhType
{
    ptTime,
    ptPath,
    ptMail,
    ptPreEx,
    ptPostEx,
    ptBuLog,
    ptOtherLog,
    ptPortable
};

class TPlaceHolderDialog : public TDialogBase
{
public:
    explicit TPlaceHolderDialog(QWidget* parent = nullptr);
    // The chosen placeholder, empty on Cancel.
    std::string Execute(const QPoint& APos, TPhType pt, const std::string& AAction);
    void accept() override;

private:
    struct TPage
    {
        QGroupBox* Group;
        std::vector<QRadioButton*> Items;
        std::vector<std::string> Values;
    };
    int AddPage(const char* name, const std::vector<std::pair<const char*, const char*>>& items);
    void ShowPage(int page, int item);
    void ItemChosen(int page, int item);
    void PlaceCycle(int item);
    std::string Chosen() const;
    QStackedWidget* PageControl;
    std::vector<TPage> Pages;
    TRangeEdit* reCycle;
    TNumUpDown* udCycle;
    bool FSwitching = false;
};

std::string SelectPlaceholder(const QPoint& APos, TPhType PhType, const std::string& AAction);
