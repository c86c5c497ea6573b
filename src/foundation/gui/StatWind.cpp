#include "foundation/gui/StatWind.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/Prgrss.h"
#include "foundation/gui/WinUtils.h"

TStatusWindow::TStatusWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("StatusWindow"));
    setWindowTitle(TrQ("Status"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    ProgLabel = new QLabel(this);
    ProgLabel->setObjectName(QStringLiteral("ProgLabel"));
    ProgressBar = new TNewProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setFixedSize(421, 11);
    ProgressBar->SetBorder(0);
    ProgressBar->SetTransparent(false);
    ProgressBar->SetBackColor(palette().color(QPalette::Light));
    btnCancel = new QPushButton(TrQ("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, [this] { Stopped = true; });
    for (QLabel* l : {StatusLabel, ProgLabel}) {
        l->setTextFormat(Qt::PlainText);
        l->setMinimumWidth(421);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 5);
    layout->addWidget(StatusLabel);
    layout->addWidget(ProgLabel);
    layout->addWidget(ProgressBar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TStatusWindow::ShowStatus(const QPoint& APos, const std::string& Titel, const std::string& Stat,
                               bool AllowBreak, int AInterval)
{
    Stopped = false;
    btnCancel->setVisible(AllowBreak);
    if (!isVisible() || !Titel.empty())
        setWindowTitle(QStr(Titel));
    ProgLabel->clear();
    StatusLabel->setText(QStr(Stat));
    if (!isVisible()) {
        if (AInterval >= 1) {
            ProgressBar->setVisible(true);
            ProgressBar->SetInterval(AInterval);
            ProgressBar->SetStyle(npsContinuous);
            ProgressBar->Reset();
        } else if (AInterval < 0) {
            ProgressBar->setVisible(true);
            ProgressBar->SetStyle(npsNormal);
            ProgressBar->SetPosition(0);
        } else
            ProgressBar->setVisible(false);
        adjustSize();
        PlaceFormAt(this, APos);
        show();
    } else
        repaint();
}

QString TStatusWindow::Shorten(const std::string& text) const
{
    return fontMetrics().elidedText(QStr(text), Qt::ElideMiddle, ProgressBar->width());
}

void TStatusWindow::SetStatus(const std::string& text)
{
    StatusLabel->setText(Shorten(text));
}

void TStatusWindow::SetInfo(const std::string& text)
{
    ProgLabel->setText(Shorten(text));
}

void TStatusWindow::SetProgress(int value)
{
    ProgressBar->SetPosition(std::clamp(value, ProgressBar->Min(), ProgressBar->Max()));
}

void TStatusWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Stopped = true;
        return;
    }
    QDialog::keyPressEvent(event);
}

void TStatusWindow::reject()
{
    Stopped = true;
}

TStatusWindow* StatusWindow()
{
    static QPointer<TStatusWindow> window;
    if (!window)
        window = new TStatusWindow(nullptr);
    return window.data();
}
