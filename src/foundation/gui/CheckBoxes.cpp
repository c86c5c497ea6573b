#include "foundation/gui/CheckBoxes.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

#include "foundation/gui/GuiUtils.h"

namespace {
constexpr int FullTextRole = Qt::UserRole + 1;

std::string LongPart(const std::string& s)
{
    const size_t bar = s.find('|');
    return bar == std::string::npos ? s : s.substr(0, bar);
}

std::string ShortPart(const std::string& s)
{
    const size_t bar = s.find('|');
    return bar == std::string::npos ? s : s.substr(bar + 1);
}
} // namespace

TCheckComboBox::TCheckComboBox(QWidget* parent) : QComboBox(parent), FModel(new QStandardItemModel(this))
{
    setModel(FModel);
    FColorNotFocus = QToolTip::palette().color(QPalette::ToolTipBase);
    view()->viewport()->installEventFilter(this);
    view()->installEventFilter(this);
}

int TCheckComboBox::AddChecked(const std::string& value, bool checked)
{
    auto* item = new QStandardItem(QStr(LongPart(value)));
    item->setData(QStr(value), FullTextRole);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setData(checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    FModel->appendRow(item);
    bCalcText = true;
    update();
    return FModel->rowCount() - 1;
}

void TCheckComboBox::SetChecked(int nIndex, bool checked)
{
    if (nIndex < 0 || nIndex >= FModel->rowCount())
        return;
    FModel->item(nIndex)->setData(checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    bCalcText = true;
    update();
    emit CheckClick(nIndex);
}

bool TCheckComboBox::IsChecked(int nIndex) const
{
    if (nIndex < 0 || nIndex >= FModel->rowCount())
        return false;
    return FModel->item(nIndex)->data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

void TCheckComboBox::CheckAll(bool checked)
{
    for (int i = 0; i < FModel->rowCount(); ++i)
        FModel->item(i)->setData(checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    bCalcText = true;
    update();
}

std::string TCheckComboBox::GetLongString(int AIndex) const
{
    if (AIndex < 0 || AIndex >= FModel->rowCount())
        return {};
    return LongPart(StdStr(FModel->item(AIndex)->data(FullTextRole).toString()));
}

std::string TCheckComboBox::GetShortString(int AIndex) const
{
    if (AIndex < 0 || AIndex >= FModel->rowCount())
        return {};
    return ShortPart(StdStr(FModel->item(AIndex)->data(FullTextRole).toString()));
}

int TCheckComboBox::CheckedCount()
{
    RecalcText();
    return FCheckedCount;
}

TSelected TCheckComboBox::SelectedIndexes() const
{
    TSelected s;
    for (int i = 0; i < std::min(FModel->rowCount(), 256); ++i)
        s[static_cast<size_t>(i)] = IsChecked(i);
    return s;
}

void TCheckComboBox::SetSelectedIndexes(const TSelected& value)
{
    if (value == SelectedIndexes())
        return;
    for (int i = 0; i < std::min(FModel->rowCount(), 256); ++i)
        FModel->item(i)->setData(value[static_cast<size_t>(i)] ? Qt::Checked : Qt::Unchecked,
                                 Qt::CheckStateRole);
    bCalcText = true;
    update();
}

uint32_t TCheckComboBox::Selected() const
{
    uint32_t mask = 0;
    for (int i = 0; i < std::min(FModel->rowCount(), 32); ++i)
        if (IsChecked(i))
            mask |= 1u << i;
    return mask;
}

void TCheckComboBox::SetSelected(uint32_t value)
{
    for (int i = 0; i < std::min(FModel->rowCount(), 32); ++i)
        FModel->item(i)->setData((value >> i) & 1 ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    FCheckedCount = 0;
    for (int i = 0; i < FModel->rowCount(); ++i)
        FCheckedCount += IsChecked(i) ? 1 : 0;
    bCalcText = true;
    update();
}

void TCheckComboBox::SetDefaultIndex(int value)
{
    if (value == FDefaultIndex)
        return;
    if (FDefaultIndex >= 0 && FDefaultIndex < FModel->rowCount())
        FModel->item(FDefaultIndex)->setData(Qt::Unchecked, Qt::CheckStateRole);
    FDefaultIndex = value;
    FCheckedCount = 0;
    bCalcText = true;
    update();
}

void TCheckComboBox::SetCaption(const std::string& value)
{
    if (value == FFixedText)
        return;
    FFixedText = value;
    bCalcText = true;
    update();
}

void TCheckComboBox::SetHintPrefix(const std::string& value)
{
    if (value == FHintPrefix)
        return;
    FHintPrefix = value;
    bCalcText = true;
    update();
}

void TCheckComboBox::SetColorFocus(const QColor& c)
{
    FColorFocus = c;
    update();
}

void TCheckComboBox::SetColorNotFocus(const QColor& c)
{
    FColorNotFocus = c;
    update();
}

void TCheckComboBox::RecalcText()
{
    if (!bCalcText)
        return;
    if (FCheckedCount == 0 && FDefaultIndex >= 0 && FDefaultIndex < FModel->rowCount()) {
        bool any = false;
        for (int i = 0; i < FModel->rowCount() && !any; ++i)
            any = IsChecked(i);
        if (!any)
            FModel->item(FDefaultIndex)->setData(Qt::Checked, Qt::CheckStateRole);
    }
    FCheckedCount = 0;
    std::string shortTexts, longTexts;
    for (int i = 0; i < FModel->rowCount(); ++i) {
        if (!IsChecked(i))
            continue;
        ++FCheckedCount;
        if (!shortTexts.empty()) {
            shortTexts += ",";
            longTexts += ",";
        }
        shortTexts += GetShortString(i);
        longTexts += GetLongString(i);
    }
    sHint = shortTexts;
    setToolTip(QStr(FHintPrefix + longTexts));
    bCalcText = false;
}

std::string TCheckComboBox::DisplayText()
{
    RecalcText();
    return FFixedText.empty() ? sHint : FFixedText;
}

void TCheckComboBox::Toggle(int index)
{
    SetChecked(index, !IsChecked(index));
}

void TCheckComboBox::hidePopup()
{
    QComboBox::hidePopup();
    GuardSlot([this] {
        if (CheckedCount() == 0) {
            bCalcText = true;
            RecalcText();
        }
        update();
    });
}

bool TCheckComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
            event->type() == QEvent::MouseButtonDblClick) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::LeftButton)
                return false;
            if (event->type() == QEvent::MouseButtonPress) {
                const QModelIndex idx = view()->indexAt(me->position().toPoint());
                if (idx.isValid())
                    GuardSlot([&] { Toggle(idx.row()); });
            }
            return true; // the release would close the list
        }
    } else if (watched == view() && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Space) {
            const QModelIndex idx = view()->currentIndex();
            if (idx.isValid())
                GuardSlot([&] { Toggle(idx.row()); });
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TCheckComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    std::string text;
    GuardSlot([&] { text = DisplayText(); });
    opt.currentText = QStr(" " + text);
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

TCheckGroupBox::TCheckGroupBox(QWidget* parent) : QGroupBox(parent)
{
    setCheckable(true);
    setChecked(true);
    connect(this, &QGroupBox::clicked, this, [this] { emit CheckClick(); });
}

std::string TCheckGroupBox::Caption() const
{
    return StdStr(title());
}

void TCheckGroupBox::SetCaption(const std::string& value)
{
    setTitle(QStr(value));
}
