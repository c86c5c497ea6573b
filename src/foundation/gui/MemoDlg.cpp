#include "foundation/gui/MemoDlg.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"
#include "rtl/StringList.h"

TMemoDialog::TMemoDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("MemoDialog"));
    setWindowTitle(TrQ("Dialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    Descriptor = new QLabel(this);
    Descriptor->setObjectName(QStringLiteral("Descriptor"));
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Descriptor);
    layout->addWidget(Memo, 1);
    AddOkCancel(this, layout);
    resize(360, 260);
}

bool TMemoDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                          std::string& AText, bool UseCommaText)
{
    setWindowTitle(QStr(Titel));
    Descriptor->setText(QStr(Desc));
    Memo->setToolTip(QStr(Desc));
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    if (UseCommaText) {
        TStringList list;
        list.SetCommaText(AText);
        QStringList lines;
        for (const std::string& s : list)
            lines << QStr(s);
        Memo->setPlainText(lines.join(QLatin1Char('\n')));
    } else
        Memo->setPlainText(QStr(AText));
    // Wide enough for the widest line, at most half the work area.
    const int needed = GetMaxLineWidthInFont(Memo->toPlainText(), Memo->font()) * 110 / 100 + 40;
    if (width() < needed) {
        const QScreen* screen = ScreenAtPoint(pos());
        const int limit = screen ? screen->availableGeometry().width() / 2 : needed;
        resize(std::min(needed, limit), height());
    }
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QTextCursor c = Memo->textCursor();
    c.movePosition(QTextCursor::End);
    Memo->setTextCursor(c);
    Memo->setFocus();
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    if (UseCommaText) {
        TStringList list;
        for (QTextBlock b = Memo->document()->begin(); b.isValid(); b = b.next())
            list.Add(StdStr(b.text()));
        // A trailing empty line is no item.
        while (list.Count() > 0 && list[list.Count() - 1].empty())
            list.Delete(list.Count() - 1);
        AText = list.CommaText();
    } else {
        TStringList list;
        list.SetText(StdStr(Memo->toPlainText()));
        AText = list.Text();
    }
    return true;
}

namespace {
bool RunMemo(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText,
             bool comma)
{
    auto dlg = std::make_unique<TMemoDialog>();
    return dlg->Execute(APos, Titel, Desc, AText, comma);
}
} // namespace

bool EditCommaList(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText)
{
    return RunMemo(APos, Titel, Desc, AText, true);
}

bool EditMultiLineText(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                       std::string& AText)
{
    return RunMemo(APos, Titel, Desc, AText, false);
}
