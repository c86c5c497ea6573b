#pragma once
// The box that ends a restore with errors: an icon, the summary and a "Details" button that opens
// the list of error lines below it.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

enum TInfoIcon
{
    iiInfo,
    iiError
};

class TDetailInfoDialog : public TDialogBase
{
public:
    explicit TDetailInfoDialog(QWidget* parent = nullptr);
    // A negative coordinate of APos centres the dialog on the main window.
    int Execute(const QPoint& APos, const std::string& Title, const std::string& Info, TInfoIcon InfoIcon,
                const TStringList& Details);
    bool DetailsShown() const { return ShowDetails; }

private:
    void btDetailsClick();
    void ShowDetailList(bool show);
    QWidget* pnTop;
    QLabel* imIcon;
    QLabel* laInfo;
    QPushButton* btDetails;
    QPushButton* OKBtn;
    QListWidget* lbDetails;
    bool ShowDetails = false;
};

// Shows a fresh dialog modally.
void ShowDetailInfo(const QPoint& Pos, const std::string& Title, const std::string& Info,
                    const TStringList& Details, TInfoIcon Icon);
