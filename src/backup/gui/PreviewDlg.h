#pragma once
// The backup selection preview: a modal, resizable window that lists the folders and files of a
// preview scan (or those the selection leaves out). The list is virtual: the view asks a small model
// for the visible rows, which index the caller's lines. A radio group filters the folder rows and a
// search field finds rows by wildcard. Position and size are kept in the settings file.

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

enum TPreviewOption
{
    poExclude,  // the list shows what is not backed up
    poNotEmpty, // start with "Only not empty"
    poNoDirSel, // hide the folder filter and show only folders that are not empty
    poShowCrTm  // the time column holds creation times
};
using TPreviewOptions = uint32_t; // bit set of TPreviewOption
constexpr TPreviewOptions PreviewOption(TPreviewOption o)
{
    return 1u << o;
}

// The rows of the list view: the caller's lines through the row index.
class TPreviewModel : public QAbstractTableModel
{
public:
    explicit TPreviewModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    const TStringList* FileList = nullptr;
    std::vector<uint32_t> FileIndex;
    int FileCount = 0;
    bool Exclude = false;
    bool ShowCrTm = false;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void Reset(int count);
    // The whole line of row r.
    std::string Line(int r) const;
};

class TShowFilePreview : public TDialogBase
{
public:
    explicit TShowFilePreview(QWidget* parent = nullptr);
    // Writes the window's position and size when a settings file is known.
    ~TShowFilePreview() override;
    // Reads the position and size once, from the first settings file named.
    void Init(const std::string& AIniName);
    void Execute(const std::string& ATitle, const std::string& Base, const std::string& Hint,
                 TPreviewOptions AOptions, const TStringList& AFL);
    // The rows now shown, for tests.
    int FileCount() const { return Model->FileCount; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildIndex();
    void FindNext();
    void SetColumnWidths();
    std::string FIniName;
    int FindIndex = 0;
    TPreviewModel* Model;
    QTableView* lvwFiles;
    QLabel* lblBase;
    QLabel* lblHinweis1;
    QGroupBox* rgDirs;
    QButtonGroup* DirButtons;
    QLineEdit* edSearch;
    QPushButton* btFind;
    QPushButton* btFindNext;
};

void ShowFilePreview(const std::string& ATitle, const std::string& Base, const std::string& Hint,
                     TPreviewOptions AOptions, const TStringList& AFL);
