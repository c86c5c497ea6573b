#include "foundation/gui/ShowStringList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "foundation/gui/WinUtils.h"

namespace {
QPointer<TShowStringListDialog> GListWindow;

TShowStringListDialog* Shared()
{
    if (!GListWindow)
        GListWindow = new TShowStringListDialog(nullptr);
    return GListWindow.data();
}
} // namespace

TShowStringListDialog::TShowStringListDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShowStringListDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    paTop = new QWidget(this);
    paTop->setObjectName(QStringLiteral("paTop"));
    laDesc = new QLabel(paTop);
    laDesc->setObjectName(QStringLiteral("laDesc"));
    auto* top = new QVBoxLayout(paTop);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(laDesc);
    lbStrings = new QListWidget(this);
    lbStrings->setObjectName(QStringLiteral("lbStrings"));
    paBottom = new QWidget(this);
    paBottom->setObjectName(QStringLiteral("paBottom"));
    laStatus = new QLabel(paBottom);
    laStatus->setObjectName(QStringLiteral("laStatus"));
    auto* close = new QPushButton(TrQ("Close"), paBottom);
    close->setObjectName(QStringLiteral("CancelBtn"));
    close->setDefault(true);
    auto* bottom = new QHBoxLayout(paBottom);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(laStatus, 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paTop);
    layout->addWidget(lbStrings, 1);
    layout->addWidget(paBottom);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    resize(420, 300);
}

void TShowStringListDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                    const std::string& Status, const TStringList& StrList)
{
    setWindowTitle(QStr(Titel));
    laDesc->setText(QStr(Desc));
    laStatus->setText(QStr(Status));
    lbStrings->clear();
    for (const std::string& s : StrList)
        lbStrings->addItem(QStr(s));
    paBottom->setVisible(true);
    PlaceFormAt(this, APos);
    exec();
}

void TShowStringListDialog::ShowList(TStatusListPos APos, const std::string& Titel, const std::string& Desc)
{
    setWindowTitle(QStr(Titel));
    laDesc->setText(QStr(Desc));
    lbStrings->clear();
    paBottom->setVisible(false);
    if (const QScreen* s = screen()) {
        const QRect w = s->availableGeometry();
        const QSize f = frameGeometry().size();
        int left = w.x() + 5, top = w.y() + 5;
        if (APos == spTopRight || APos == spBottomRight)
            left = w.x() + w.width() - f.width() - 5;
        if (APos == spBottomLeft || APos == spBottomRight)
            top = w.y() + w.height() - f.height() - 5;
        if (APos == spCenter) {
            left = w.x() + (w.width() - f.width()) / 2;
            top = w.y() + (w.height() - f.height()) / 2;
        }
        move(left, top);
    }
    show();
}

void TShowStringListDialog::AddListItem(const std::string& s)
{
    lbStrings->addItem(QStr(s));
    lbStrings->scrollToBottom();
}

void TShowStringListDialog::CloseList()
{
    hide();
}

void DisplayStringList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                       const std::string& Status, const TStringList& StrList)
{
    if (GuiAvailable())
        Shared()->Execute(APos, Titel, Desc, Status, StrList);
}

void OpenListWindow(TStatusListPos Pos, const std::string& Titel, const std::string& Desc)
{
    if (GuiAvailable())
        Shared()->ShowList(Pos, Titel, Desc);
}

void AddListWindowItem(const std::string& s)
{
    if (GListWindow)
        GListWindow->AddListItem(s);
}

void CloseListWindow()
{
    if (GListWindow)
        GListWindow->CloseList();
}

TShowStringListDialog* ListWindow()
{
    return GListWindow.data();
}
