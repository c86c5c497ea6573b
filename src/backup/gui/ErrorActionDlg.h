#pragma once
// "Subsequent action": which errors of a run suppress the action after it.

#include <QPoint>
#include <string>

#include "backup/LogSettings.h"
#include "backup/gui/TaskDialogBase.h"

class QCheckBox;
class QGroupBox;

class TErrorActionDialog : public TTaskDialogBase
{
public:
    explicit TErrorActionDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& SubAction, int& CheckMask);

private:
    QGroupBox* gbErrors;
    QCheckBox* cbErr[5];
};

bool ShowErrorActionDialog(const QPoint& APos, const std::string& SubAction, int& CheckMask);
