#pragma once
// The views of the most-recently-used lists: THistoryMenu mirrors a THistoryList as menu items (and
// copies them into a second menu), with the hexadecimal position in front of each entry;
// THistoryCombo is a combo box whose list is a history list stored in an ini section. The combo-box
// routines of ListUtils load, save and extend any combo box as a history.

#include <QComboBox>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <string>

#include "foundation/HListBox.h"

class QListWidget;

class THistoryMenu : public QObject
{
    Q_OBJECT
public:
    // list must outlive the menu mirror.
    explicit THistoryMenu(THistoryList& list, QObject* parent = nullptr);
    ~THistoryMenu() override;

    THistoryList& List() { return FList; }
    void AddString(const std::string& s);
    void RemString(const std::string& s);
    void ClearAll();
    // Ticks the menu item of entry s; false when s is not in the list.
    bool SelectMenuItem(const std::string& s);
    QMenu* Menu() const { return FMenu; }
    // Removes the items from the old menu; the history items follow the items the menu has now.
    void SetMenu(QMenu* menu);
    QMenu* Menu2() const { return FMenu2; }
    void SetMenu2(QMenu* menu);
    bool ShowHotKeys() const { return FShowHotKeys; }
    void SetShowHotKeys(bool v);
    bool RadioMenu() const { return FRadioMenu; }
    void SetRadioMenu(bool v);
    // Rebuilds the menu items from the list (after the list was changed directly).
    void Rebuild();

signals:
    void AutoItemClick(QMenu* menu, const QString& menuText);
    void AutoItemClickIndex(QMenu* menu, int index);

private:
    void BuildMenu();
    void ClearMenu();
    void ItemClick(QAction* action);
    THistoryList& FList;
    QPointer<QMenu> FMenu;
    QPointer<QMenu> FMenu2;
    int SeparatorCount = 0;
    int MenuSizeBefore = 0;
    bool FShowHotKeys = true;
    bool FRadioMenu = false;
    std::string FCheckedItem;
};

class THistoryCombo : public QComboBox
{
    Q_OBJECT
public:
    explicit THistoryCombo(QWidget* parent = nullptr);
    // Saves the list to IniFileName / IniSection when both are set.
    ~THistoryCombo() override;

    void LoadFromIni(const std::string& IniName, const std::string& IniSection);
    void LoadFromIni(const TMemIniFile& IniFile, const std::string& IniSection);
    void SaveToIni(TMemIniFile& IniFile, const std::string& IniSection, bool Erase);
    void AddItem(const std::string& s);
    void AddItemObject(const std::string& s, intptr_t AObject);
    void DeleteItem(const std::string& s);
    void AssignList(const TStringList& AList);
    // The first entry that begins with AText (ignoring case), -1 when none.
    int FindItem(const std::string& AText) const;
    void UpdateList();

    THistoryList& HistoryList() { return FHistoryList; }
    bool AutoUpdate = true;
    bool EraseSection = false;
    bool Modified = false;
    int MaxItems() const { return FHistoryList.MaxLen(); }
    void SetMaxItems(int v) { FHistoryList.SetMaxLen(v); }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    std::string IniFileName;
    std::string IniSection;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    THistoryList FHistoryList;
    std::string FSaveText;
    bool FReadOnly = false;
};

// The combo box's items as a string list and back.
TStringList ComboItems(const QComboBox* Combo);
void SetComboItems(QComboBox* Combo, const TStringList& List);
// MaxCount < 0: the combo's drop-down count. Keys "History" + i.
void LoadHistoryCombo(const std::string& IniName, const std::string& Section, QComboBox* Combo, int MaxCount,
                      bool Unquote);
void SaveHistoryCombo(const std::string& IniName, const std::string& Section, bool Erase, QComboBox* Combo,
                      int MaxCount, bool Quote);
// Puts Text at the top of the combo's items (at most its drop-down count) and selects it.
void AddToHistoryCombo(QComboBox* Combo, const std::string& Text);
// The text of the selected line, empty when none is selected.
std::string GetSelectedItem(const QListWidget* ListBox);
