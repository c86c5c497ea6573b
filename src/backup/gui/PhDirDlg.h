#pragma once
// "Select directory to be backed up": a source directory typed or picked, whose path may hold
// placeholders.

#include <QPoint>
#include <string>

#include "backup/gui/TaskDialogBase.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TPhDirDialog : public TTaskDialogBase
{
public:
    explicit TPhDirDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& ACaption, std::string& Dir);

private:
    void SelectDirClick();
    void PlaceholderClick();
    QLineEdit* edFolder;
    QPushButton* bbPlaceholder;
    QPushButton* bbDirMode;
    QLabel* laHint;
};

bool ShowPhDirDialog(const QPoint& APos, const std::string& ACaption, std::string& Dir);
