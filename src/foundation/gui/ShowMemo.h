#pragma once
// The viewer of text files, above all the logs: read-only, with a line counter, and optional buttons
// to open another file, reload, choose font and code page, print, delete the file or a selection,
// search, and jump between sections and errors. Also the printer settings of the suite ([Printer])
// and printing a file without showing anything.

#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QStatusBar;
class TListSelectDialog;

enum TShowDlgBtn
{
    sbOpen,
    sbErase,
    sbPrint,
    sbSearch,
    sbSection,
    sbError,
    sbFont,
    sbCodepage
};
using TShowDlgButtons = uint8_t;
constexpr TShowDlgButtons ShowDlgButton(TShowDlgBtn b)
{
    return static_cast<TShowDlgButtons>(1u << b);
}

enum TShowDlgType
{
    stShow,
    stModal
};

// The position that asks ShowTextFile to ignore the saved window position.
inline const QPoint IgnoreSavedPos{0, -1};

// Code pages offered by the viewer: number and name, "Automatic" not included.
struct TCodePageInfo
{
    int CodePage;
    const char* Name;
};
const std::vector<TCodePageInfo>& CodePages();
// Decodes bytes: code page > 0 that code page (false when the bytes are not valid in it); 0 = BOM
// (UTF-8, UTF-16 LE/BE, skipped) or else UTF-8, with Windows-1252 for text that is not UTF-8.
bool DecodeText(const std::string& bytes, int codePage, QString& text);

// Cuts a line for printing: pieces that fit width (measured by textWidth), broken after a blank, a
// slash, a backslash or "}", else character by character; every piece after the first is prefixed
// "* ".
std::vector<QString> WrapPrintLine(const QString& line, int width,
                                   const std::function<int(const QString&)>& textWidth);

class TShowTextDialog : public TDialogBase
{
public:
    explicit TShowTextDialog(QWidget* parent = nullptr);
    // Writes the window settings back when they were loaded from a settings file.
    ~TShowTextDialog() override;
    void Execute(const std::string& Title, const std::string& TextDatei, const std::string& PrevCap1,
                 const std::string& NextCap1, const std::string& SrchText1, const std::string& PrevCap2,
                 const std::string& NextCap2, const std::string& SrchText2, const std::string& Filter,
                 const QPoint& APos, int Line, TShowDlgType DlgType, TShowDlgButtons Buttons,
                 const TPrinterSettings& PrtSettings, int CodePage);
    void LoadViewSettings(const std::string& AIniName);
    void ReloadText();
    // Loads a file into the viewer (zero bytes removed, decoded by the code page).
    void LoadFile(const std::string& FileName);
    // Searches the text from the selection; false when nothing was found.
    bool Find(const QString& text, bool backwards);
    void Navigate(bool errors, bool next);
    // Prints all lines (or lines first..last, 0-based) on printer.
    void PrintLines(QPrinter& printer, int first, int last);
    int CodePage() const { return FCodePage; }
    void SetCodePage(int cp);
    std::string StatusLine() const;
    std::string NavigationMessage() const;
    TPrinterSettings PrinterSettings;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowText();
    void UpdateCounter();
    void DeleteClick(bool askedByKey);
    void PrintClick();
    void OpenClick();
    void FontClick();
    void CodePageClick();
    void PrintPageHeader(QPainter& p, int& y, int page, int lineHeight, int right);
    QPushButton* OpenBtn;
    QPushButton* UpdateBtn;
    QPushButton* FontBtn;
    QPushButton* EncBtn;
    QPushButton* PrintBtn;
    QPushButton* DeleteBtn;
    QPushButton* SearchBtn;
    QPushButton* PrevSectBtn;
    QPushButton* NextSectBtn;
    QPushButton* PrevErrBtn;
    QPushButton* NextErrBtn;
    QPushButton* EndeBtn;
    QPlainTextEdit* Memo;
    QStatusBar* StatusBar;
    QLabel* StatusLines;
    QLabel* StatusNav;
    TListSelectDialog* ListSelectDialog;
    int LPos = 0;
    std::string FIniName;
    std::string FTitle;
    std::string FFilter;
    std::string SectText;
    std::string ErrText;
    QString FFindText;
    bool FFindBackwards = true;
    bool PosFromIni = false;
    TShowDlgType FDlgType = stShow;
    int LWidth = 0;
    int FCodePage = 0;
    std::string TextName;
};

void ShowTextFile(const std::string& Title, const std::string& TextDatei, const std::string& PrevCap1,
                  const std::string& NextCap1, const std::string& SrchText1, const std::string& PrevCap2,
                  const std::string& NextCap2, const std::string& SrchText2, const std::string& Filter,
                  const QPoint& APos, int Line, TShowDlgType DlgType, TShowDlgButtons Buttons,
                  const TPrinterSettings& PrtSettings, int CodePage);
void ShowPlainTextFile(const std::string& Title, const std::string& FileName, const QPoint& APos,
                       TShowDlgType DlgType, TShowDlgButtons Buttons, const TPrinterSettings& PrtSettings,
                       bool AtEnd, int CodePage);
// Prints a file on the current printer without showing anything; nothing when it does not exist or
// there is no printer.
void PrintTextFile(const std::string& FileName, const TPrinterSettings& PrtSettings, int CodePage);
void InitPrinterSettings(TPrinterSettings& PrtSettings);
void LoadPrinterSettings(const std::string& IniName, const std::string& Section,
                         TPrinterSettings& PrtSettings);
void SavePrinterSettings(const std::string& IniName, const std::string& Section,
                         const TPrinterSettings& PrtSettings);
// The shared viewer (nullptr when none exists).
TShowTextDialog* TextViewer();
