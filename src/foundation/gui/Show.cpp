#include "foundation/gui/Show.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TfrmShow::TfrmShow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmShow"));
    setWindowTitle(TrQ("Show text"));
    memShow = new QPlainTextEdit(this);
    memShow->setObjectName(QStringLiteral("memShow"));
    memShow->setReadOnly(true);
    memShow->setLineWrapMode(QPlainTextEdit::NoWrap);
    panButtons = new QWidget(this);
    panButtons->setObjectName(QStringLiteral("panButtons"));
    auto* ok = new QPushButton(TrQ("OK"), panButtons);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto* row = new QHBoxLayout(panButtons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(memShow, 1);
    layout->addWidget(panButtons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    resize(560, 380);
}

void TfrmShow::Execute(const std::string& ATitle, const std::string& AText, int Delay)
{
    if (AText.empty())
        return;
    setWindowTitle(QStr(ATitle));
    memShow->setPlainText(QStr(AText));
    if (QScreen* s = screen()) {
        const QRect g = s->availableGeometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
    if (Delay != 0) {
        panButtons->hide();
        show();
        QEventLoop loop;
        QTimer::singleShot(Delay * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        close();
        return;
    }
    panButtons->show();
    exec();
}

void ShowTextBox(const std::string& ATitle, const std::string& AText, int Delay)
{
    if (!GuiAvailable())
        return;
    auto dlg = std::make_unique<TfrmShow>();
    dlg->Execute(ATitle, AText, Delay);
}
