#pragma once
// "Mail delivery status": the outcome of a test mail with the protocol log of the transfer.

#include <string>

#include "backup/gui/TaskDialogBase.h"
#include "foundation/gui/ShowMessageDlg.h"

class QGroupBox;
class QLabel;
class QPushButton;

class TMailTestDialog : public TTaskDialogBase
{
public:
    explicit TMailTestDialog(QWidget* parent = nullptr);
    // Always true.
    bool Execute(const std::string& ACaption, const std::string& ALogFile, TMsgDialogType DlgType);

private:
    void ShowLogClick();
    void DelLogClick();
    QLabel* imgIcon;
    QLabel* stInfo;
    QGroupBox* gbLog;
    QPushButton* btbShowLog;
    QPushButton* btbDelLog;
    QPushButton* btbOK;
    std::string lfn;
};

// The dialog is created on first use and kept.
bool ShowMailTestDialog(const std::string& ACaption, const std::string& ALogFile, TMsgDialogType DlgType);
