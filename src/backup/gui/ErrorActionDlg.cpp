#include "backup/gui/ErrorActionDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

namespace {
struct TErrorBox
{
    int Bit;
    const char* Text;
};
const TErrorBox ErrorBoxes[5] = {{eaTaskNotFound, "Task file not found"},
                                 {eaDestination, "Destination not accessible"},
                                 {eaSourceNotFound, "Source directory not found"},
                                 {eaInvalidTask, "Invalid task configuration"},
                                 {eaOtherErrors, "Other errors during backup"}};
} // namespace

TErrorActionDialog::TErrorActionDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("ErrorActionDialog"));
    setWindowTitle(TrQ("Subsequent action"));
    gbErrors = new QGroupBox(this);
    gbErrors->setObjectName(QStringLiteral("gbErrors"));
    auto* box = new QVBoxLayout(gbErrors);
    for (int i = 0; i < 5; ++i) {
        cbErr[i] = new QCheckBox(TrQ(ErrorBoxes[i].Text), gbErrors);
        cbErr[i]->setObjectName(QStringLiteral("cbErr%1").arg(ErrorBoxes[i].Bit));
        box->addWidget(cbErr[i]);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbErrors);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(300);
}

bool TErrorActionDialog::Execute(const QPoint& APos, const std::string& SubAction, int& CheckMask)
{
    gbErrors->setTitle(QStr(ErrorActionCaption(SubAction)));
    for (int i = 0; i < 5; ++i)
        cbErr[i]->setChecked((CheckMask & ErrorBoxes[i].Bit) != 0);
    PlaceDialog(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    int mask = 0;
    for (int i = 0; i < 5; ++i)
        if (cbErr[i]->isChecked())
            mask |= ErrorBoxes[i].Bit;
    CheckMask = mask;
    return true;
}

bool ShowErrorActionDialog(const QPoint& APos, const std::string& SubAction, int& CheckMask)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TErrorActionDialog>();
    return dlg->Execute(APos, SubAction, CheckMask);
}
