#include "foundation/gui/ShowMemo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iconv.h>

#include "foundation/IniFileUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/ListSelectDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
QPointer<TShowTextDialog> GViewer;
std::string GIniName;

constexpr int64_t MaxLoadSize = int64_t(2) * 1024 * 1024 * 1024;

std::string IconvName(int cp)
{
    if (cp == 65001)
        return "UTF-8";
    if (cp == 1200)
        return "UTF-16LE";
    if (cp == 1201)
        return "UTF-16BE";
    if (cp == 20866)
        return "KOI8-R";
    if (cp == 21866)
        return "KOI8-U";
    if (cp >= 28591 && cp <= 28606)
        return "ISO-8859-" + std::to_string(cp - 28590);
    return "CP" + std::to_string(cp);
}

bool Convert(const std::string& bytes, const std::string& from, QString& text)
{
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - outLeft);
    text = QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
    return true;
}

int TextLineCount(const QPlainTextEdit* memo)
{
    const QString t = memo->toPlainText();
    if (t.isEmpty())
        return 0;
    return memo->blockCount() - (t.endsWith(QLatin1Char('\n')) ? 1 : 0);
}
} // namespace

const std::vector<TCodePageInfo>& CodePages()
{
    static const std::vector<TCodePageInfo> list = [] {
        const TCodePageInfo all[] = {
            {437, "OEM United States"},
            {850, "OEM Multilingual Latin 1"},
            {852, "OEM Latin 2"},
            {866, "OEM Russian"},
            {874, "Thai (Windows)"},
            {932, "Japanese (Shift-JIS)"},
            {936, "Chinese Simplified (GB2312)"},
            {949, "Korean"},
            {950, "Chinese Traditional (Big5)"},
            {1250, "Central European (Windows)"},
            {1251, "Cyrillic (Windows)"},
            {1252, "Western European (Windows)"},
            {1253, "Greek (Windows)"},
            {1254, "Turkish (Windows)"},
            {1255, "Hebrew (Windows)"},
            {1256, "Arabic (Windows)"},
            {1257, "Baltic (Windows)"},
            {1258, "Vietnamese (Windows)"},
            {20866, "Cyrillic (KOI8-R)"},
            {28591, "Western European (ISO)"},
            {28592, "Central European (ISO)"},
            {28595, "Cyrillic (ISO)"},
            {28597, "Greek (ISO)"},
            {28605, "Latin 9 (ISO)"},
            {1200, "Unicode (UTF-16 LE)"},
            {1201, "Unicode (UTF-16 BE)"},
            {65001, "Unicode (UTF-8)"},
        };
        std::vector<TCodePageInfo> ok;
        for (const TCodePageInfo& c : all) {
            // Only what the system can convert.
            iconv_t cd = iconv_open("UTF-8", IconvName(c.CodePage).c_str());
            if (cd == reinterpret_cast<iconv_t>(-1))
                continue;
            iconv_close(cd);
            ok.push_back(c);
        }
        return ok;
    }();
    return list;
}

bool DecodeText(const std::string& bytes, int codePage, QString& text)
{
    if (codePage > 0)
        return Convert(bytes, IconvName(codePage), text);
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return Convert(bytes.substr(3), "UTF-8", text);
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0)
        return Convert(bytes.substr(2), "UTF-16LE", text);
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0)
        return Convert(bytes.substr(2), "UTF-16BE", text);
    if (Convert(bytes, "UTF-8", text))
        return true;
    return Convert(bytes, "CP1252", text) || Convert(bytes, "ISO-8859-1", text);
}

std::vector<QString> WrapPrintLine(const QString& line, int width,
                                   const std::function<int(const QString&)>& textWidth)
{
    std::vector<QString> out;
    QString prefix;
    QString rest = line;
    auto isBreak = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\\') || c == QLatin1Char('/') ||
               c == QLatin1Char('}');
    };
    while (textWidth(prefix + rest) >= width && !rest.isEmpty()) {
        QString piece;
        // Whole tokens while they fit.
        while (!rest.isEmpty()) {
            qsizetype end = 0;
            while (end < rest.size() && !isBreak(rest[end]))
                ++end;
            if (end == rest.size() && piece.isEmpty())
                break; // no break character left: cut by characters
            const QString token = rest.left(std::min(end + 1, rest.size()));
            if (textWidth(prefix + piece + token) >= width)
                break;
            piece += token;
            rest.remove(0, token.size());
        }
        if (piece.isEmpty()) {
            // Single characters while they fit; at least one, so that the loop advances.
            while (!rest.isEmpty() && (piece.isEmpty() || textWidth(prefix + piece + rest.left(1)) < width)) {
                piece += rest.left(1);
                rest.remove(0, 1);
            }
        }
        out.push_back(prefix + piece);
        prefix = QStringLiteral("* ");
    }
    out.push_back(prefix + rest);
    return out;
}

TShowTextDialog::TShowTextDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ShowTextDialog"));
    setWindowFlags(Qt::Window);
    auto button = [this](const char* name, const QString& caption, const QString& hint,
                         QStyle::StandardPixmap icon) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setAutoDefault(false);
        if (icon != QStyle::SP_CustomBase)
            b->setIcon(style()->standardIcon(icon));
        return b;
    };
    OpenBtn = button("OpenBtn", TrQ("&Open"), QString(), QStyle::SP_DialogOpenButton);
    UpdateBtn = button("UpdateBtn", QString(), TrQ("Update"), QStyle::SP_BrowserReload);
    FontBtn = button("FontBtn", QString(), TrQ("Select font"), QStyle::SP_FileDialogDetailedView);
    EncBtn = button("EncBtn", QString(), TrQ("Select codepage"), QStyle::SP_FileDialogListView);
    PrintBtn = button("PrintBtn", TrQ("&Print"), QString(), QStyle::SP_CustomBase);
    DeleteBtn = button("DeleteBtn", TrQ("&Delete"), QString(), QStyle::SP_TrashIcon);
    SearchBtn = button("SearchBtn", TrQ("&Search"), QString(), QStyle::SP_FileDialogContentsView);
    PrevSectBtn = button("PrevSectBtn", QString(), QString(), QStyle::SP_ArrowUp);
    NextSectBtn = button("NextSectBtn", QString(), QString(), QStyle::SP_ArrowDown);
    PrevErrBtn = button("PrevErrBtn", QString(), QString(), QStyle::SP_MediaSeekBackward);
    NextErrBtn = button("NextErrBtn", QString(), QString(), QStyle::SP_MediaSeekForward);
    EndeBtn = button("EndeBtn", TrQ("Close"), QString(), QStyle::SP_DialogCloseButton);
    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    for (QPushButton* b : {OpenBtn, UpdateBtn, FontBtn, EncBtn, PrintBtn, DeleteBtn, SearchBtn, PrevSectBtn,
                           NextSectBtn, PrevErrBtn, NextErrBtn})
        top->addWidget(b);
    top->addStretch(1);
    top->addWidget(EndeBtn);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo->installEventFilter(this);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    StatusLines = new QLabel(StatusBar);
    StatusLines->setMinimumWidth(200);
    StatusNav = new QLabel(StatusBar);
    StatusBar->addWidget(StatusLines);
    StatusBar->addWidget(StatusNav, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(top);
    layout->addWidget(Memo, 1);
    layout->addWidget(StatusBar);
    ListSelectDialog = new TListSelectDialog(this);
    ListSelectDialog->SetSorted(false);
    ListSelectDialog->OnSelect = [this](int cp) { GuardSlot([&] { SetCodePage(cp); }); };
    resize(845, 512);
    LWidth = 845;

    connect(OpenBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { OpenClick(); }); });
    connect(UpdateBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowText(); }); });
    connect(FontBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { FontClick(); }); });
    connect(EncBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { CodePageClick(); }); });
    connect(PrintBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { PrintClick(); }); });
    connect(DeleteBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { DeleteClick(false); }); });
    connect(SearchBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            std::string text = StdStr(FFindText);
            if (InputText(GetTopRightPos(SearchBtn), _("Search"), _("Search for:"), false, text) &&
                !text.empty()) {
                FFindText = QStr(text);
                Find(FFindText, FFindBackwards);
            }
        });
    });
    connect(PrevSectBtn, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { Navigate(false, false); }); });
    connect(NextSectBtn, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { Navigate(false, true); }); });
    connect(PrevErrBtn, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { Navigate(true, false); }); });
    connect(NextErrBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { Navigate(true, true); }); });
    connect(EndeBtn, &QPushButton::clicked, this, [this] {
        if (FDlgType == stModal)
            done(mrCancel);
        else
            close();
    });
    connect(Memo, &QPlainTextEdit::cursorPositionChanged, this, [this] { UpdateCounter(); });
}

TShowTextDialog::~TShowTextDialog()
{
    if (FIniName.empty() || !XlFileExists(FIniName))
        return;
    try {
        TMemIniFile ini(FIniName);
        ini.WriteInteger("View", "Top", y());
        ini.WriteInteger("View", "Left", x());
        ini.WriteInteger("View", "Height", height());
        ini.WriteInteger("View", "Width", width());
        ini.WriteString("View", "FontName", StdStr(Memo->font().family()));
        ini.WriteInteger("View", "FontSize", Memo->font().pointSize());
        const QFont f = Memo->font();
        ini.WriteInteger("View", "FontStyle",
                         (f.bold() ? 1 : 0) | (f.italic() ? 2 : 0) | (f.underline() ? 4 : 0) |
                             (f.strikeOut() ? 8 : 0));
        ini.UpdateFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Vastrel: %s\n", e.what());
    }
}

void TShowTextDialog::LoadViewSettings(const std::string& AIniName)
{
    if (AIniName.empty() || !XlFileExists(AIniName))
        return;
    FIniName = AIniName;
    PosFromIni = true;
    const TMemIniFile ini(AIniName);
    move(ini.ReadInteger("View", "Left", x()), ini.ReadInteger("View", "Top", y()));
    resize(ini.ReadInteger("View", "Width", width()), ini.ReadInteger("View", "Height", height()));
    LWidth = width();
    QFont f = Memo->font();
    f.setFamily(QStr(ini.ReadString("View", "FontName", StdStr(f.family()))));
    f.setPointSize(std::max(1, ini.ReadInteger("View", "FontSize", f.pointSize())));
    const int style = ini.ReadInteger("View", "FontStyle", 0);
    f.setBold(style & 1);
    f.setItalic(style & 2);
    f.setUnderline(style & 4);
    f.setStrikeOut(style & 8);
    Memo->setFont(f);
}

void TShowTextDialog::SetCodePage(int cp)
{
    FCodePage = cp;
    ShowText();
}

void TShowTextDialog::LoadFile(const std::string& FileName)
{
    TextName = FileName;
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EInOutError(SafeFormat(_("Cannot open file \"%s\""), {FileName}), 2);
    in.seekg(0, std::ios::end);
    const int64_t size = static_cast<int64_t>(in.tellg());
    in.seekg(0);
    if (size >= MaxLoadSize) {
        Memo->setPlainText(QStr("*** " + SafeFormat(_("Error loading file: \"%s\""), {FileName})));
        return;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(in.gcount()));
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    QString text;
    if (!DecodeText(bytes, FCodePage, text)) {
        ErrorDialogAt(GetBottomRightPos(EncBtn), _("Invalid code page - Windows default is used!"));
        FCodePage = 65001;
        DecodeText(bytes, 0, text);
    }
    Memo->setPlainText(text);
}

void TShowTextDialog::ShowText()
{
    LoadFile(TextName);
    const int lines = TextLineCount(Memo);
    QTextCursor c = Memo->textCursor();
    if (LPos > 0 && LPos < lines) {
        c.setPosition(Memo->document()->findBlockByNumber(LPos - 1).position());
        Memo->setTextCursor(c);
        Memo->centerCursor();
    } else {
        c.movePosition(QTextCursor::End);
        Memo->setTextCursor(c);
        Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
    }
    FFindBackwards = true;
    UpdateCounter();
}

void TShowTextDialog::ReloadText()
{
    if (isVisible())
        GuardSlot([this] { ShowText(); });
}

void TShowTextDialog::UpdateCounter()
{
    const int line = Memo->textCursor().blockNumber() + 1;
    StatusLines->setText(QStr(SafeFormat(_(" Line: %u of %u"), {line, TextLineCount(Memo) + 1})));
}

std::string TShowTextDialog::StatusLine() const
{
    return StdStr(StatusLines->text());
}

std::string TShowTextDialog::NavigationMessage() const
{
    return StdStr(StatusNav->text());
}

bool TShowTextDialog::Find(const QString& text, bool backwards)
{
    if (text.isEmpty())
        return false;
    const bool found = Memo->find(text, backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags());
    if (found)
        Memo->ensureCursorVisible();
    UpdateCounter();
    return found;
}

void TShowTextDialog::Navigate(bool errors, bool next)
{
    FFindText = QStr(errors ? ErrText : SectText);
    FFindBackwards = !next;
    if (Find(FFindText, FFindBackwards)) {
        StatusNav->clear();
        if (next) {
            QScrollBar* sb = Memo->verticalScrollBar();
            if (Memo->textCursor().blockNumber() > Memo->cursorForPosition(QPoint(0, 0)).blockNumber())
                sb->setValue(sb->value() + 2);
        }
    } else {
        QTextCursor c = Memo->textCursor();
        c.movePosition(next ? QTextCursor::End : QTextCursor::Start);
        Memo->setTextCursor(c);
        Memo->ensureCursorVisible();
        StatusNav->setText(errors ? TrQ("No further errors!") : TrQ("No further sections!"));
    }
    UpdateCounter();
}

void TShowTextDialog::DeleteClick(bool askedByKey)
{
    const QPoint at = GetTopLeftPosOfs(this, {200, 100});
    QTextCursor c = Memo->textCursor();
    if (c.hasSelection()) {
        if (!ConfirmDialogAt(at, _("Delete selected text?"), mbYes))
            return;
        c.removeSelectedText();
        std::ofstream out(TextName, std::ios::binary | std::ios::trunc);
        if (!askedByKey)
            out << "\xEF\xBB\xBF";
        TStringList lines;
        for (QTextBlock b = Memo->document()->begin(); b.isValid(); b = b.next())
            if (b.next().isValid() || !b.text().isEmpty())
                lines.Add(StdStr(b.text()));
        out << lines.Text();
        if (!out)
            throw EInOutError(SafeFormat(_("Error writing to \"%s\""), {TextName}), 29);
        UpdateCounter();
        return;
    }
    if (askedByKey)
        return;
    if (ConfirmDialogAt(at, SafeFormat(_("Delete file \"%s\"?"), {TextName}), mbYes)) {
        XlDeleteFile(TextName);
        Memo->clear();
    }
    if (FDlgType == stModal)
        done(mrCancel);
}

void TShowTextDialog::OpenClick()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStr(FTitle), QFileInfo(QStr(TextName)).absolutePath(),
                                     QStr(FFilter).replace(QLatin1Char('|'), QStringLiteral(";;")));
    if (file.isEmpty())
        return;
    TextName = StdStr(file);
    setWindowTitle(QStr(FTitle + " [" + TextName + "]"));
    ShowText();
}

void TShowTextDialog::FontClick()
{
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, Memo->font(), this, QString(), QFontDialog::MonospacedFonts);
    if (ok)
        Memo->setFont(f);
}

void TShowTextDialog::CodePageClick()
{
    ListSelectDialog->Clear();
    ListSelectDialog->AddItem(_("Automatic"), 0);
    for (const TCodePageInfo& c : CodePages())
        ListSelectDialog->AddItem(SafeFormat("%s - (%u)", {std::string(c.Name), c.CodePage}), c.CodePage);
    ListSelectDialog->MinWidth = width() / 4;
    ListSelectDialog->ShowList(GetBottomLeftPosOfs(EncBtn, {0, 2}), Memo->height());
}

void TShowTextDialog::PrintClick()
{
    int first = 0, last = -1;
    const QTextCursor c = Memo->textCursor();
    if (c.hasSelection() && ConfirmDialog(_("Print selected lines?"))) {
        first = Memo->document()->findBlock(c.selectionStart()).blockNumber();
        last = Memo->document()->findBlock(c.selectionEnd()).blockNumber();
    }
    QPrinter printer(QPrinterInfo::printerInfo(QStr(PrinterSettings.PrtName)));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PrintLines(printer, first, last);
    QApplication::restoreOverrideCursor();
}

void TShowTextDialog::PrintPageHeader(QPainter& p, int& y, int page, int lineHeight, int right)
{
    const TPrinterSettings& s = PrinterSettings;
    QFont bold = p.font();
    bold.setBold(true);
    const QFont normal = p.font();
    p.setFont(bold);
    const QString pageText = QStr(SafeFormat(_("Page: %u"), {page}));
    p.drawText(QPoint(s.Margins.Left, y + p.fontMetrics().ascent()), QStr(FTitle));
    p.drawText(QPoint(right - p.fontMetrics().horizontalAdvance(pageText), y + p.fontMetrics().ascent()),
               pageText);
    y += lineHeight + 3;
    const std::string prefix = _("File: ");
    p.drawText(QPoint(s.Margins.Left, y + p.fontMetrics().ascent()),
               QStr(prefix + ShortenPath(TextName, 80 - static_cast<int>(prefix.size()))));
    y += lineHeight + 3;
    p.drawLine(s.Margins.Left, y, right, y);
    p.setFont(normal);
    y += 20;
}

void TShowTextDialog::PrintLines(QPrinter& printer, int first, int last)
{
    const TPrinterSettings& s = PrinterSettings;
    printer.setPageOrientation(s.Orientation == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setDocName(windowTitle());
    QSizeF mm = printer.pageLayout().fullRect(QPageLayout::Millimeter).size();
    int pageW = static_cast<int>(mm.width() * 10), pageH = static_cast<int>(mm.height() * 10);
    if (pageW <= 0 || pageH <= 0) {
        pageW = 2000;
        pageH = 2900;
    }
    QPainter p;
    if (!p.begin(&printer))
        return;
    p.setWindow(0, 0, pageW, pageH);
    p.setViewport(printer.pageLayout().fullRectPixels(printer.resolution()));
    QFont font(QStr(s.FontName.empty() ? "Monospace" : s.FontName));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(s.FontSize * 3.53))));
    font.setBold(s.FontStyle & 1);
    font.setItalic(s.FontStyle & 2);
    font.setUnderline(s.FontStyle & 4);
    font.setStrikeOut(s.FontStyle & 8);
    p.setFont(font);
    p.setBackground(Qt::white);
    const int bottom = pageH - s.Margins.Bottom;
    const int right = pageW - s.Margins.Right;
    const int usable = right - s.Margins.Left;
    const int lineHeight = p.fontMetrics().height();
    int y = s.Margins.Top;
    int page = 1;
    auto header = [&] {
        if (y >= bottom) {
            printer.newPage();
            ++page;
            y = s.Margins.Top;
        }
        if (y == s.Margins.Top)
            PrintPageHeader(p, y, page, lineHeight, right);
    };
    const QFontMetrics fm = p.fontMetrics();
    const int count = Memo->blockCount();
    if (last < 0 || last >= count)
        last = count - 1;
    for (int i = first; i <= last; ++i) {
        const QString line = Memo->document()->findBlockByNumber(i).text();
        for (const QString& piece :
             WrapPrintLine(line, usable, [&](const QString& t) { return fm.horizontalAdvance(t); })) {
            header();
            p.drawText(QPoint(s.Margins.Left, y + fm.ascent()), piece);
            y += lineHeight + 3;
        }
    }
    p.end();
}

void TShowTextDialog::Execute(const std::string& Title, const std::string& TextDatei,
                              const std::string& PrevCap1, const std::string& NextCap1,
                              const std::string& SrchText1, const std::string& PrevCap2,
                              const std::string& NextCap2, const std::string& SrchText2,
                              const std::string& Filter, const QPoint& APos, int Line, TShowDlgType DlgType,
                              TShowDlgButtons Buttons, const TPrinterSettings& PrtSettings, int CodePage)
{
    PrinterSettings = PrtSettings;
    if (isVisible()) {
        if (XlFileExists(TextDatei)) {
            TextName = TextDatei;
            ShowText();
        }
        raise();
        activateWindow();
        return;
    }
    FTitle = Title;
    setWindowTitle(QStr(Title + " [" + TextDatei + "]"));
    FFilter = Filter;
    LPos = Line;
    auto shown = [&](TShowDlgBtn b) { return (Buttons & ShowDlgButton(b)) != 0; };
    OpenBtn->setVisible(shown(sbOpen));
    UpdateBtn->setVisible(shown(sbOpen));
    FontBtn->setVisible(shown(sbFont));
    EncBtn->setVisible(shown(sbCodepage));
    PrintBtn->setVisible(shown(sbPrint));
    DeleteBtn->setVisible(shown(sbErase));
    SearchBtn->setVisible(shown(sbSearch));
    PrevSectBtn->setVisible(shown(sbSection));
    NextSectBtn->setVisible(shown(sbSection));
    PrevSectBtn->setToolTip(QStr(PrevCap1));
    NextSectBtn->setToolTip(QStr(NextCap1));
    SectText = SrchText1;
    PrevErrBtn->setVisible(shown(sbError));
    NextErrBtn->setVisible(shown(sbError));
    PrevErrBtn->setToolTip(QStr(PrevCap2));
    NextErrBtn->setToolTip(QStr(NextCap2));
    ErrText = SrchText2;
    if (FCodePage == 0)
        FCodePage = CodePage;
    FDlgType = DlgType;
    if (!XlFileExists(TextDatei)) {
        ErrorDialog(_("File: ") + SafeFormat(_("\"%s\" not found!"), {TextDatei}));
        return;
    }
    TextName = TextDatei;
    // The printer: the one named, else the default; none disables printing.
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (printers.isEmpty())
        PrinterSettings.PrtName.clear();
    else {
        QPrinterInfo info = QPrinterInfo::printerInfo(QStr(PrinterSettings.PrtName));
        if (info.isNull())
            info = QPrinterInfo::defaultPrinter();
        PrinterSettings.PrtName = info.isNull() ? std::string() : StdStr(info.printerName());
    }
    PrintBtn->setEnabled(!PrinterSettings.PrtName.empty());
    if (!PosFromIni)
        PlaceFormAt(this, APos);
    resize(LWidth, height());
    FitFormToWorkArea(this);
    ShowText();
    Memo->setFocus();
    if (DlgType == stModal)
        exec();
    else {
        show();
        raise();
    }
}

void TShowTextDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F3) {
        GuardSlot([&] {
            const bool back = event->modifiers() & Qt::ShiftModifier ? !FFindBackwards : FFindBackwards;
            if (!Find(FFindText, back) && !FFindText.isEmpty())
                InfoDialog(SafeFormat(_("\"%s\" not found!"), {StdStr(FFindText)}));
        });
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        SearchBtn->click();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (FDlgType == stModal)
            done(mrCancel);
        else
            close();
        return;
    }
    TDialogBase::keyPressEvent(event);
}

bool TShowTextDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Delete && Memo->textCursor().hasSelection()) {
            GuardSlot([this] { DeleteClick(true); });
            return true;
        }
        if (ke->key() == Qt::Key_F3 || ke->key() == Qt::Key_Escape) {
            keyPressEvent(ke);
            return true;
        }
    }
    return TDialogBase::eventFilter(watched, event);
}

void TShowTextDialog::closeEvent(QCloseEvent* event)
{
    LWidth = width();
    TDialogBase::closeEvent(event);
}

TShowTextDialog* TextViewer()
{
    return GViewer.data();
}

void ShowTextFile(const std::string& Title, const std::string& TextDatei, const std::string& PrevCap1,
                  const std::string& NextCap1, const std::string& SrchText1, const std::string& PrevCap2,
                  const std::string& NextCap2, const std::string& SrchText2, const std::string& Filter,
                  const QPoint& APos, int Line, TShowDlgType DlgType, TShowDlgButtons Buttons,
                  const TPrinterSettings& PrtSettings, int CodePage)
{
    if (!GuiAvailable())
        return;
    if (!GViewer) {
        GViewer = new TShowTextDialog(nullptr);
        if (APos != IgnoreSavedPos)
            GViewer->LoadViewSettings(GIniName);
    }
    TShowTextDialog* viewer = GViewer.data();
    viewer->Execute(Title, TextDatei, PrevCap1, NextCap1, SrchText1, PrevCap2, NextCap2, SrchText2, Filter,
                    APos == IgnoreSavedPos ? DefaultFormPos : APos, Line, DlgType, Buttons, PrtSettings,
                    CodePage);
    if (DlgType == stModal && GViewer == viewer)
        delete viewer;
}

void ShowPlainTextFile(const std::string& Title, const std::string& FileName, const QPoint& APos,
                       TShowDlgType DlgType, TShowDlgButtons Buttons, const TPrinterSettings& PrtSettings,
                       bool AtEnd, int CodePage)
{
    ShowTextFile(Title, FileName, "", "", "", "", "", "", "", APos, AtEnd ? -1 : 1, DlgType, Buttons,
                 PrtSettings, CodePage);
}

void PrintTextFile(const std::string& FileName, const TPrinterSettings& PrtSettings, int CodePage)
{
    if (!GuiAvailable() || !XlFileExists(FileName) || QPrinterInfo::availablePrinters().isEmpty())
        return;
    auto* viewer = GViewer ? GViewer.data() : new TShowTextDialog(nullptr);
    GViewer = viewer;
    viewer->PrinterSettings = PrtSettings;
    viewer->SetCodePage(CodePage > 0 ? CodePage : 0);
    viewer->LoadFile(FileName);
    viewer->setWindowTitle(QFileInfo(QStr(FileName)).fileName());
    QPrinter printer(QPrinterInfo::defaultPrinter());
    viewer->PrintLines(printer, 0, -1);
    delete viewer;
}

void InitPrinterSettings(TPrinterSettings& PrtSettings)
{
    PrtSettings.PrtName.clear();
    PrtSettings.Margins = {200, 150, 100, 150};
    PrtSettings.FontName = "Courier New";
    PrtSettings.FontSize = 10;
    PrtSettings.FontStyle = 0;
    PrtSettings.Orientation = 0;
}

void LoadPrinterSettings(const std::string& IniName, const std::string& Section,
                         TPrinterSettings& PrtSettings)
{
    GIniName = IniName;
    if (IniName.empty() || Section.empty())
        return;
    const TMemIniFile ini(IniName);
    PrtSettings.PrtName = ini.ReadString(Section, "Printer", "");
    PrtSettings.Margins.Top = ini.ReadInteger(Section, "TopMargin", 150);
    PrtSettings.Margins.Bottom = ini.ReadInteger(Section, "BottomMargin", 150);
    PrtSettings.Margins.Left = ini.ReadInteger(Section, "LeftMargin", 200);
    PrtSettings.Margins.Right = ini.ReadInteger(Section, "RightMargin", 100);
    PrtSettings.FontName = ini.ReadString(Section, "FontName", "Courier New");
    PrtSettings.FontSize = ini.ReadInteger(Section, "FontSize", 10);
    PrtSettings.FontStyle = static_cast<uint8_t>(ini.ReadInteger(Section, "FontStyle", 0) & 0x0F);
    const int orientation = ini.ReadInteger(Section, "Orientation", 0);
    PrtSettings.Orientation = orientation == 1 ? 1 : 0;
}

void SavePrinterSettings(const std::string& IniName, const std::string& Section,
                         const TPrinterSettings& PrtSettings)
{
    GIniName = IniName;
    if (IniName.empty() || Section.empty())
        return;
    TMemIniFile ini(IniName);
    ini.WriteString(Section, "Printer", PrtSettings.PrtName);
    ini.WriteInteger(Section, "TopMargin", PrtSettings.Margins.Top);
    ini.WriteInteger(Section, "BottomMargin", PrtSettings.Margins.Bottom);
    ini.WriteInteger(Section, "LeftMargin", PrtSettings.Margins.Left);
    ini.WriteInteger(Section, "RightMargin", PrtSettings.Margins.Right);
    ini.WriteString(Section, "FontName", PrtSettings.FontName);
    ini.WriteInteger(Section, "FontSize", PrtSettings.FontSize);
    ini.WriteInteger(Section, "FontStyle", PrtSettings.FontStyle);
    ini.WriteInteger(Section, "Orientation", PrtSettings.Orientation);
    ini.UpdateFile();
}
