#include "foundation/gui/SelectListItems.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

namespace {
constexpr int IndexRole = Qt::UserRole + 1;
}

TSelectListItemsDialog::TSelectListItemsDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("SelectListItemsDialog"));
    setWindowTitle(TrQ("Select items"));
    laDesc = new QLabel(this);
    laDesc->setObjectName(QStringLiteral("laDesc"));
    laDesc->setWordWrap(true);
    laName = new QLabel(this);
    laName->setObjectName(QStringLiteral("laName"));
    clItems = new QListWidget(this);
    clItems->setObjectName(QStringLiteral("clItems"));
    clItems->setSortingEnabled(true);
    auto* all = new QPushButton(TrQ("Select all"), this);
    all->setObjectName(QStringLiteral("btSelAll"));
    all->setAutoDefault(false);
    auto* none = new QPushButton(TrQ("Select none"), this);
    none->setObjectName(QStringLiteral("btSelNone"));
    none->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(all);
    row->addWidget(none);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(laDesc);
    layout->addWidget(laName);
    layout->addWidget(clItems, 1);
    layout->addLayout(row);
    AddOkCancel(this, layout);
    connect(all, &QPushButton::clicked, this, [this] { CheckAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { CheckAll(false); });
    resize(360, 320);
}

void TSelectListItemsDialog::CheckAll(bool on)
{
    for (int i = 0; i < clItems->count(); ++i)
        clItems->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

bool TSelectListItemsDialog::Execute(const QPoint& APos, const std::string& ATitle, const std::string& ADesc,
                                     const std::string& AName, TStringList& SList)
{
    setWindowTitle(QStr(ATitle));
    laDesc->setText(QStr(ADesc));
    laName->setText(QStr(AName));
    clItems->setToolTip(QStr(AName));
    clItems->clear();
    for (int i = 0; i < SList.Count(); ++i) {
        auto* item = new QListWidgetItem(QStr(SList[i]));
        item->setData(IndexRole, i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState((SList.Objects(i) & 1) ? Qt::Checked : Qt::Unchecked);
        clItems->addItem(item);
    }
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    for (int i = 0; i < clItems->count(); ++i) {
        const QListWidgetItem* item = clItems->item(i);
        const int index = item->data(IndexRole).toInt();
        const intptr_t obj = SList.Objects(index);
        SList.SetObject(index, item->checkState() == Qt::Checked ? (obj | 1) : (obj & ~intptr_t(1)));
    }
    return true;
}

bool ChooseListItems(const QPoint& APos, const std::string& ATitle, const std::string& ADesc,
                     const std::string& AName, TStringList& SList)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TSelectListItemsDialog>();
    return dlg->Execute(APos, ATitle, ADesc, AName, SList);
}
