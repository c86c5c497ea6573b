#include "foundation/gui/EditHistListDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "foundation/StringUtils.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
constexpr int ObjectRole = Qt::UserRole + 1;
}

TEditHistListDialog::TEditHistListDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("EditHistListDialog"));
    setWindowTitle(TrQ("Edit list entries"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lbDesc = new QLabel(this);
    lbDesc->setObjectName(QStringLiteral("lbDesc"));
    lbxStringList = new QListWidget(this);
    lbxStringList->setObjectName(QStringLiteral("lbxStringList"));
    lbxStringList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnDelete = new QPushButton(TrQ("Remove"), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnEdit = new QPushButton(TrQ("Edit"), this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    auto* move = new QGroupBox(TrQ("Move entry"), this);
    UpBtn = new QPushButton(move);
    UpBtn->setObjectName(QStringLiteral("UpBtn"));
    UpBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    DownBtn = new QPushButton(move);
    DownBtn->setObjectName(QStringLiteral("DownBtn"));
    DownBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    auto* moveLayout = new QHBoxLayout(move);
    moveLayout->addWidget(UpBtn);
    moveLayout->addWidget(DownBtn);
    for (QPushButton* b : {btnDelete, btnEdit, UpBtn, DownBtn})
        b->setAutoDefault(false);
    auto* side = new QVBoxLayout;
    side->addWidget(btnDelete);
    side->addWidget(btnEdit);
    side->addWidget(move);
    side->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(lbxStringList, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbDesc);
    layout->addLayout(body, 1);
    AddOkCancel(this, layout);
    connect(btnDelete, &QPushButton::clicked, this, [this] { GuardSlot([this] { DeleteClick(); }); });
    connect(btnEdit, &QPushButton::clicked, this, [this] { GuardSlot([this] { EditClick(); }); });
    connect(UpBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { MoveClick(true); }); });
    connect(DownBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { MoveClick(false); }); });
    resize(420, 300);
}

bool TEditHistListDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                  TStringList& HList, bool ADelete, bool AEdit, int& AIndex)
{
    if (APos.x() < 0 || APos.y() < 0) {
        if (const QScreen* s = screen()) {
            const QRect g = s->availableGeometry();
            move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
        }
    } else {
        move(APos);
        FitFormToWorkArea(this);
    }
    if (!Titel.empty())
        setWindowTitle(QStr(Titel));
    lbDesc->setText(QStr(Desc));
    lbxStringList->clear();
    for (int i = 0; i < HList.Count(); ++i) {
        auto* item = new QListWidgetItem(QStr(HList[i]), lbxStringList);
        item->setData(ObjectRole, QVariant::fromValue<qlonglong>(HList.Objects(i)));
    }
    btnDelete->setVisible(ADelete);
    btnEdit->setVisible(AEdit);
    std::string remembered;
    bool haveRemembered = false;
    if (AIndex >= 0 && AIndex < HList.Count()) {
        lbxStringList->setCurrentRow(AIndex);
        remembered = HList[AIndex];
        haveRemembered = true;
    }
    if (exec() != QDialog::Accepted)
        return false;
    HList.Clear();
    for (int i = 0; i < lbxStringList->count(); ++i) {
        const QListWidgetItem* item = lbxStringList->item(i);
        HList.AddObject(StdStr(item->text()), static_cast<intptr_t>(item->data(ObjectRole).toLongLong()));
    }
    if (AEdit)
        AIndex = lbxStringList->currentRow();
    else if (haveRemembered)
        AIndex = HList.IndexOf(remembered);
    return true;
}

void TEditHistListDialog::DeleteClick()
{
    const QList<QListWidgetItem*> selected = lbxStringList->selectedItems();
    if (selected.isEmpty())
        return;
    const int current = lbxStringList->currentRow();
    for (QListWidgetItem* item : selected) {
        DelList.AddObject(StdStr(item->text()), static_cast<intptr_t>(item->data(ObjectRole).toLongLong()));
        delete item;
    }
    const int n = lbxStringList->count();
    if (n == 0)
        return;
    const int next = current >= 0 && current < n ? current : n - 1;
    lbxStringList->setCurrentRow(next);
    lbxStringList->item(next)->setSelected(true);
}

void TEditHistListDialog::EditClick()
{
    QListWidgetItem* item = lbxStringList->currentItem();
    if (!item)
        return;
    std::string text = StdStr(item->text());
    if (!InputTextHistory(GetBottomRightPos(btnEdit), _("Edit item"), StdStr(lbDesc->text()), false, "",
                          nullptr, false, text))
        return;
    for (int i = 0; i < lbxStringList->count(); ++i) {
        if (lbxStringList->item(i) != item && utf8::SameText(StdStr(lbxStringList->item(i)->text()), text)) {
            ErrorDialogAt(GetTopLeftPos(btnEdit), SafeFormat(_("Item \"%s\" already exists!"), {text}));
            return;
        }
    }
    item->setText(QStr(text));
}

void TEditHistListDialog::MoveClick(bool up)
{
    const int n = lbxStringList->count();
    std::vector<char> sel(static_cast<size_t>(n));
    bool any = false;
    for (int i = 0; i < n; ++i) {
        sel[static_cast<size_t>(i)] = lbxStringList->item(i)->isSelected();
        any = any || sel[static_cast<size_t>(i)];
    }
    if (!any)
        return;
    int lead = -1;
    auto swapRows = [&](int a, int b) {
        QListWidgetItem* it = lbxStringList->takeItem(std::max(a, b));
        lbxStringList->insertItem(std::min(a, b), it);
        std::swap(sel[static_cast<size_t>(a)], sel[static_cast<size_t>(b)]);
    };
    if (up) {
        // Entries at the top stay; the ones right behind them stop there too.
        int blocked = 0;
        for (int i = 0; i < n; ++i) {
            if (!sel[static_cast<size_t>(i)])
                continue;
            if (i == blocked) {
                ++blocked;
                continue;
            }
            swapRows(i - 1, i);
            blocked = i;
        }
    } else {
        int blocked = n - 1;
        for (int i = n - 1; i >= 0; --i) {
            if (!sel[static_cast<size_t>(i)])
                continue;
            if (i == blocked) {
                --blocked;
                continue;
            }
            swapRows(i, i + 1);
            blocked = i;
        }
    }
    lbxStringList->clearSelection();
    for (int i = 0; i < n; ++i)
        if (sel[static_cast<size_t>(i)]) {
            lbxStringList->item(i)->setSelected(true);
            if (lead < 0 || !up)
                lead = i;
        }
    if (lead >= 0)
        lbxStringList->setCurrentRow(lead, QItemSelectionModel::NoUpdate);
}

bool EditHistoryList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                     TStringList& HList, bool ADelete, bool AEdit, int& AIndex)
{
    auto dlg = std::make_unique<TEditHistListDialog>();
    return dlg->Execute(APos, Titel, Desc, HList, ADelete, AEdit, AIndex);
}

bool DeleteHistoryEntries(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                          TStringList& HList)
{
    int index = -1;
    return EditHistoryList(APos, Titel, Desc, HList, true, false, index);
}
