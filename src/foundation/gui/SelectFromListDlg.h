#pragma once
// Choosing one or several entries of a list and editing the list (add, remove, change, reorder,
// reset to the defaults).

#include <QPoint>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/StringList.h"

class QLabel;
class QListWidget;
class QPushButton;
class QGroupBox;

enum TSelectOption
{
    soPrompt,
    soEdit,
    soOrder,
    soMulti,
    soDelAll,
    soNoConfirm
};
using TSelectOptions = uint8_t;
constexpr TSelectOptions SelectOption(TSelectOption o)
{
    return static_cast<TSelectOptions>(1u << o);
}

// Validates a new or changed entry.
using TCheckEntry = std::function<bool(const std::string& AText)>;

class TSelectFromListDialog : public TDialogBase
{
public:
    explicit TSelectFromListDialog(QWidget* parent = nullptr);
    TModalResult Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                         const std::string& Hint, TSelectOptions Options, int ACols, TTextChange Convert,
                         const std::string& Default, TStringList& SList, std::string& AText, bool ShowCancel,
                         const TCheckEntry& CheckEntry);
    bool Select(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                const std::string& Hint, TSelectOptions Options, int ACols, TTextChange Convert,
                const std::string& Default, TStringList& SList, std::string& AText, bool ShowCancel,
                const TCheckEntry& CheckEntry);
    // The entries of a delimited list text; ListText comes back sorted and re-quoted in every case.
    bool Select(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                const std::string& Hint, int ACols, TTextChange Convert, const std::string& Default,
                std::string& ListText, char ADel, char AQuote);
    TModalResult Select(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                        const std::string& Hint, bool Prompt, TStringList& SList, std::string& AText);
    void Show(const QPoint& APos, const std::string& Titel, const std::string& Desc, const std::string& Hint,
              int ACols, TStringList& SList);

protected:
    void reject() override;

private:
    QPoint AskPos(QPushButton* b) const;
    bool Confirm(QPushButton* b, const std::string& text);
    void AddClick();
    void EditEntry(const QPoint& pos, bool validate);
    void DeleteClick();
    void DelAllClick();
    void DefaultClick();
    void Move(bool up);
    QLabel* lbDesc;
    QListWidget* lbxStringList;
    QGroupBox* gbEdit;
    QPushButton* btnInsert;
    QPushButton* btnDelete;
    QPushButton* btnEdit;
    QPushButton* btnDefault;
    QPushButton* btnDelAll;
    QGroupBox* gbMove;
    QPushButton* UpBtn;
    QPushButton* DownBtn;
    QLabel* lbHint;
    QPushButton* OKBtn;
    QPushButton* btnPrompt;
    QPushButton* CancelBtn;
    bool FEdit = false;
    bool FNoConfirm = false;
    std::string DefDelimitedText;
    TCheckEntry FCheckEntry;
};

bool SelectFromList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                    const std::string& Hint, TSelectOptions Options, int ACols, TTextChange Convert,
                    const std::string& Default, TStringList& SList, std::string& AText);
