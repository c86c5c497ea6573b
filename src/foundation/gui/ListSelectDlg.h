#pragma once
// A borderless popup list: a click reports the item's number (its object) and closes the popup.

#include <QColor>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "rtl/StringList.h"

class QListWidget;

class TListSelectDialog : public QWidget
{
    Q_OBJECT
public:
    explicit TListSelectDialog(QWidget* parent = nullptr);
    void Clear();
    void Assign(const TStringList& AItems, int AIndex);
    // An item whose number is its own index.
    void Add(const std::string& AItem);
    void AddItem(const std::string& AItem, int AIndex);
    void AddList(const TStringList& AItems, const std::string& Prefix);
    std::string GetItem(int Index) const;
    int Count() const;
    // Shows the popup (nothing for an empty list); AHeight 0 or beyond 17 px per item: as high as the items.
    void ShowList(const QPoint& APos, int AHeight);
    int MinWidth = 0;
    void SetBakColor(const QColor& c);
    void SetSorted(bool v);
    std::function<void(int AIndex)> OnSelect;

private:
    void Clicked(int row);
    QListWidget* lbSelect;
};
