#include "foundation/gui/ListSelectDlg.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/WinUtils.h"

namespace {
constexpr int NumberRole = Qt::UserRole + 1;
constexpr int ItemHeight = 17;
} // namespace

TListSelectDialog::TListSelectDialog(QWidget* parent) : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ListSelectDialog"));
    lbSelect = new QListWidget(this);
    lbSelect->setObjectName(QStringLiteral("lbSelect"));
    lbSelect->setSortingEnabled(true);
    lbSelect->setUniformItemSizes(true);
    lbSelect->setStyleSheet(QStringLiteral("QListWidget::item { height: %1px; }").arg(ItemHeight));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbSelect);
    connect(lbSelect, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { GuardSlot([&] { Clicked(lbSelect->row(item)); }); });
}

void TListSelectDialog::Clear()
{
    lbSelect->clear();
}

void TListSelectDialog::Assign(const TStringList& AItems, int AIndex)
{
    lbSelect->clear();
    for (int i = 0; i < AItems.Count(); ++i)
        AddItem(AItems[i], static_cast<int>(AItems.Objects(i)));
    if (AIndex >= 0 && AIndex < lbSelect->count())
        lbSelect->setCurrentRow(AIndex);
}

void TListSelectDialog::Add(const std::string& AItem)
{
    AddItem(AItem, lbSelect->count());
}

void TListSelectDialog::AddItem(const std::string& AItem, int AIndex)
{
    auto* item = new QListWidgetItem(QStr(AItem));
    item->setData(NumberRole, AIndex);
    lbSelect->addItem(item);
}

void TListSelectDialog::AddList(const TStringList& AItems, const std::string& Prefix)
{
    for (const std::string& s : AItems)
        Add(Prefix + s);
}

std::string TListSelectDialog::GetItem(int Index) const
{
    const QListWidgetItem* item = lbSelect->item(Index);
    return item ? StdStr(item->text()) : std::string();
}

int TListSelectDialog::Count() const
{
    return lbSelect->count();
}

void TListSelectDialog::SetBakColor(const QColor& c)
{
    QPalette p = lbSelect->palette();
    if (p.color(QPalette::Base) == c)
        return;
    p.setColor(QPalette::Base, c);
    lbSelect->setPalette(p);
}

void TListSelectDialog::SetSorted(bool v)
{
    if (lbSelect->isSortingEnabled() != v)
        lbSelect->setSortingEnabled(v);
}

void TListSelectDialog::ShowList(const QPoint& APos, int AHeight)
{
    const int n = lbSelect->count();
    if (n == 0)
        return;
    QStringList texts;
    for (int i = 0; i < n; ++i)
        texts << lbSelect->item(i)->text();
    const int widest = GetMaxStringsWidth(texts, lbSelect->font());
    const int w = widest + 11 < MinWidth ? MinWidth : widest + 22;
    const int h = AHeight != 0 && AHeight < ItemHeight * n ? AHeight : ItemHeight * n + 6;
    resize(w, h);
    PlaceFormAt(this, APos);
    show();
    lbSelect->setFocus();
}

void TListSelectDialog::Clicked(int row)
{
    QListWidgetItem* item = lbSelect->item(row);
    hide();
    if (OnSelect && item)
        OnSelect(item->data(NumberRole).toInt());
}
