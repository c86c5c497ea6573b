#pragma once
// The question when a source folder is removed from a task: Yes removes it (and, with the box ticked,
// deletes what was backed up from it), No keeps it.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"

class QCheckBox;
class QLabel;
class QPushButton;

class TConfirmDelDirDialog : public TDialogBase
{
public:
    explicit TConfirmDelDirDialog(QWidget* parent = nullptr);
    // mrOk: Yes with the box untouched; mrYes: Yes with the box ticked; mrNo: Yes with the box
    // unticked after it was touched; mrCancel: No or Esc.
    TModalResult Execute(const QPoint& APos, const std::string& SDir, const std::string& DDir);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPaths();
    QLabel* laSDir;
    QLabel* laDDir;
    QCheckBox* cbDelete;
    QPushButton* btYes;
    QPushButton* btNo;
    QString FSDir;
    QString FDDir;
    TModalResult YesResult = mrOk;
};

TModalResult ShowConfirmDelDirDialog(const QPoint& APos, const std::string& SDir, const std::string& DDir);
