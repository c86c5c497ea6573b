#include "foundation/gui/HListBoxWidgets.h"

#include <QAction>
#include <QActionGroup>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaMethod>

#include "foundation/IniFileUtils.h"
#include "foundation/ListUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/GuiUtils.h"

namespace {
constexpr const char* HistoryProperty = "historyItem";
}

THistoryMenu::THistoryMenu(THistoryList& list, QObject* parent) : QObject(parent), FList(list) {}

THistoryMenu::~THistoryMenu()
{
    ClearMenu();
}

void THistoryMenu::AddString(const std::string& s)
{
    if (s.empty())
        return;
    ClearMenu();
    FList.AddString(s);
    BuildMenu();
}

void THistoryMenu::RemString(const std::string& s)
{
    ClearMenu();
    FList.RemString(s);
    BuildMenu();
}

void THistoryMenu::ClearAll()
{
    ClearMenu();
    FList.ClearAll();
}

void THistoryMenu::Rebuild()
{
    ClearMenu();
    BuildMenu();
}

bool THistoryMenu::SelectMenuItem(const std::string& s)
{
    const int i = FList.IndexOf(s);
    if (i < 0)
        return false;
    if (FMenu) {
        const QList<QAction*> actions = FMenu->actions();
        const int index = i + MenuSizeBefore + SeparatorCount;
        if (index < actions.size()) {
            actions[index]->setCheckable(true);
            actions[index]->setChecked(true);
        }
    }
    return true;
}

void THistoryMenu::SetMenu(QMenu* menu)
{
    ClearMenu();
    FMenu = menu;
    SeparatorCount = 0;
    MenuSizeBefore = menu ? static_cast<int>(menu->actions().size()) : 0;
    BuildMenu();
}

void THistoryMenu::SetMenu2(QMenu* menu)
{
    FMenu2 = menu;
    Rebuild();
}

void THistoryMenu::SetShowHotKeys(bool v)
{
    if (v == FShowHotKeys)
        return;
    FShowHotKeys = v;
    Rebuild();
}

void THistoryMenu::SetRadioMenu(bool v)
{
    if (v == FRadioMenu)
        return;
    FRadioMenu = v;
    Rebuild();
}

void THistoryMenu::BuildMenu()
{
    if (!FMenu)
        return;
    if (MenuSizeBefore > 0) {
        QAction* sep = FMenu->addSeparator();
        sep->setProperty(HistoryProperty, true);
        SeparatorCount = 1;
    }
    auto* group = new QActionGroup(FMenu);
    group->setExclusive(FRadioMenu);
    group->setProperty(HistoryProperty, true);
    for (int i = 0; i < FList.Count(); ++i) {
        const std::string caption = HistoryMenuCaption(i, FList[i], FShowHotKeys);
        QAction* a = FMenu->addAction(QStr(caption));
        a->setProperty(HistoryProperty, true);
        a->setCheckable(FRadioMenu);
        if (FRadioMenu) {
            a->setActionGroup(group);
            a->setChecked(!FCheckedItem.empty() && FList[i] == FCheckedItem);
        }
        connect(a, &QAction::triggered, this, [this, a] { GuardSlot([&] { ItemClick(a); }); });
    }
    if (FMenu2) {
        FMenu2->clear();
        const QList<QAction*> actions = FMenu->actions();
        for (int i = MenuSizeBefore; i < actions.size(); ++i)
            FMenu2->addAction(actions[i]);
    }
}

void THistoryMenu::ClearMenu()
{
    FCheckedItem.clear();
    if (FMenu2)
        FMenu2->clear();
    if (!FMenu)
        return;
    QList<QAction*> actions = FMenu->actions();
    while (actions.size() > MenuSizeBefore) {
        QAction* a = actions.takeLast();
        if (a->isChecked()) {
            const int entry = static_cast<int>(actions.size()) - MenuSizeBefore - SeparatorCount;
            if (entry >= 0 && entry < FList.Count())
                FCheckedItem = FList[entry];
        }
        FMenu->removeAction(a);
        delete a;
    }
    for (QActionGroup* g : FMenu->findChildren<QActionGroup*>(QString(), Qt::FindDirectChildrenOnly))
        if (g->property(HistoryProperty).toBool())
            delete g;
    SeparatorCount = 0;
}

void THistoryMenu::ItemClick(QAction* action)
{
    action->setCheckable(true);
    action->setChecked(true);
    const int n = HistoryIndexFromCaption(StdStr(action->text())) + 1;
    if (n <= 0)
        return;
    if (isSignalConnected(QMetaMethod::fromSignal(&THistoryMenu::AutoItemClick)) && n - 1 < FList.Count())
        emit AutoItemClick(FMenu, QStr(FList[n - 1]));
    else
        emit AutoItemClickIndex(FMenu, n - 1);
}

// ---- THistoryCombo

THistoryCombo::THistoryCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->installEventFilter(this);
}

THistoryCombo::~THistoryCombo()
{
    if (!IniFileName.empty() && !IniSection.empty()) {
        try {
            FHistoryList.SaveToIni(IniFileName, IniSection, EraseSection);
        } catch (const std::exception& e) {
            ReportGuiException(&e);
        }
    }
}

void THistoryCombo::LoadFromIni(const std::string& IniName, const std::string& Section)
{
    IniFileName = IniName;
    IniSection = Section;
    if (XlFileExists(IniName) && !Section.empty()) {
        FHistoryList.LoadFromIni(IniName, Section);
        UpdateList();
    }
}

void THistoryCombo::LoadFromIni(const TMemIniFile& IniFile, const std::string& Section)
{
    FHistoryList.LoadFromIni(IniFile, Section);
    UpdateList();
}

void THistoryCombo::SaveToIni(TMemIniFile& IniFile, const std::string& Section, bool Erase)
{
    FHistoryList.SaveToIni(IniFile, Section, Erase);
}

void THistoryCombo::AddItem(const std::string& s)
{
    FHistoryList.AddString(s);
    UpdateList();
}

void THistoryCombo::AddItemObject(const std::string& s, intptr_t AObject)
{
    FHistoryList.AddStringObject(s, AObject);
    UpdateList();
}

void THistoryCombo::DeleteItem(const std::string& s)
{
    FHistoryList.RemString(s);
    UpdateList();
}

void THistoryCombo::AssignList(const TStringList& AList)
{
    FHistoryList.AssignList(AList);
    UpdateList();
}

int THistoryCombo::FindItem(const std::string& AText) const
{
    const std::string prefix = utf8::Lower(AText);
    for (int i = 0; i < FHistoryList.Count(); ++i)
        if (utf8::Lower(FHistoryList[i]).rfind(prefix, 0) == 0)
            return i;
    return -1;
}

void THistoryCombo::UpdateList()
{
    const QString text = currentText();
    const QSignalBlocker block(this);
    clear();
    for (int i = 0; i < FHistoryList.Count(); ++i)
        addItem(QStr(FHistoryList[i]));
    setEditText(text);
    if (lineEdit())
        lineEdit()->setReadOnly(FReadOnly);
}

void THistoryCombo::SetReadOnly(bool v)
{
    if (v == FReadOnly)
        return;
    FReadOnly = v;
    UpdateList();
}

void THistoryCombo::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    if (!Modified)
        FSaveText = StdStr(currentText());
}

void THistoryCombo::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    GuardSlot([this] {
        const std::string text = StdStr(currentText());
        Modified = !utf8::SameText(text, FSaveText);
        if (AutoUpdate) {
            FHistoryList.AddString(text);
            UpdateList();
        }
    });
}

// ---- ListUtils for combo boxes

TStringList ComboItems(const QComboBox* Combo)
{
    TStringList list;
    for (int i = 0; i < Combo->count(); ++i)
        list.Add(StdStr(Combo->itemText(i)));
    return list;
}

void SetComboItems(QComboBox* Combo, const TStringList& List)
{
    const QString text = Combo->currentText();
    const QSignalBlocker block(Combo);
    Combo->clear();
    for (int i = 0; i < List.Count(); ++i)
        Combo->addItem(QStr(List[i]));
    if (Combo->isEditable())
        Combo->setEditText(text);
}

void LoadHistoryCombo(const std::string& IniName, const std::string& Section, QComboBox* Combo, int MaxCount,
                      bool Unquote)
{
    if (MaxCount < 0)
        MaxCount = Combo->maxVisibleItems();
    TStringList list = ComboItems(Combo);
    LoadHistoryFromFile(IniName, Section, "History", list, MaxCount, Unquote);
    SetComboItems(Combo, list);
    if (Combo->count() > 0)
        Combo->setCurrentIndex(0);
}

void SaveHistoryCombo(const std::string& IniName, const std::string& Section, bool Erase, QComboBox* Combo,
                      int MaxCount, bool Quote)
{
    if (MaxCount < 0)
        MaxCount = Combo->maxVisibleItems();
    SaveHistoryToFile(IniName, Section, "History", Erase, ComboItems(Combo), MaxCount, Quote);
}

void AddToHistoryCombo(QComboBox* Combo, const std::string& Text)
{
    TStringList list = ComboItems(Combo);
    AddToHistory(list, Text, Combo->maxVisibleItems());
    SetComboItems(Combo, list);
    if (Combo->count() > 0)
        Combo->setCurrentIndex(0);
}

std::string GetSelectedItem(const QListWidget* ListBox)
{
    const QList<QListWidgetItem*> items = ListBox->selectedItems();
    return items.isEmpty() ? std::string() : StdStr(items.first()->text());
}
