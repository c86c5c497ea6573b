#pragma once
// TCheckComboBox: a drop-down list whose items carry check boxes. An item text "long|short" shows
// its long part in the list and the hint and its short part in the closed control; the closed
// control shows the fixed Caption when one is set, else the short texts of the checked items joined
// by ",". Clicking an item toggles it and keeps the list open.
// TCheckGroupBox: a group box whose caption is a check box that enables or disables its contents.

#include <QColor>
#include <QComboBox>
#include <QGroupBox>
#include <bitset>
#include <cstdint>
#include <string>

class QStandardItemModel;

using TSelected = std::bitset<256>;

class TCheckComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TCheckComboBox(QWidget* parent = nullptr);

    int AddChecked(const std::string& value, bool checked);
    void SetChecked(int nIndex, bool checked);
    bool IsChecked(int nIndex) const;
    void CheckAll(bool checked);
    std::string GetLongString(int AIndex) const;
    std::string GetShortString(int AIndex) const;
    int CheckedCount();
    TSelected SelectedIndexes() const;
    void SetSelectedIndexes(const TSelected& value);
    uint32_t Selected() const;
    void SetSelected(uint32_t value);
    int DefaultIndex() const { return FDefaultIndex; }
    void SetDefaultIndex(int value);
    std::string Caption() const { return FFixedText; }
    void SetCaption(const std::string& value);
    std::string HintPrefix() const { return FHintPrefix; }
    void SetHintPrefix(const std::string& value);
    QColor ColorFocus() const { return FColorFocus; }
    void SetColorFocus(const QColor& c);
    QColor ColorNotFocus() const { return FColorNotFocus; }
    void SetColorNotFocus(const QColor& c);
    // The text the closed control shows.
    std::string DisplayText();

    void hidePopup() override;

signals:
    void CheckClick(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RecalcText();
    void Toggle(int index);
    QStandardItemModel* FModel;
    int FDefaultIndex = -1;
    int FCheckedCount = 0;
    std::string FFixedText;
    std::string FHintPrefix;
    std::string sHint;
    bool bCalcText = true;
    QColor FColorFocus{0xA6, 0xCA, 0xF0};
    QColor FColorNotFocus;
};

class TCheckGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit TCheckGroupBox(QWidget* parent = nullptr);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool value) { setChecked(value); }
    std::string Caption() const;
    void SetCaption(const std::string& value);

signals:
    void CheckClick();
};
