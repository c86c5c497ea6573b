#include "foundation/gui/MsgDialogs.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <map>
#include <memory>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/WinUtils.h"

namespace {
struct TButtonInfo
{
    TMsgDlgBtn Btn;
    QMessageBox::StandardButton Std;
    TModalResult Result;
};

const TButtonInfo ButtonTable[] = {
    {mbYes, QMessageBox::Yes, mrYes},
    {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},
    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
    {mbAll, QMessageBox::YesToAll, 8},
    {mbNoToAll, QMessageBox::NoToAll, 9},
    {mbYesToAll, QMessageBox::YesToAll, 10},
    {mbHelp, QMessageBox::Help, 12},
    {mbClose, QMessageBox::Close, 11},
};

QMessageBox::Icon IconOf(TMsgDlgType t)
{
    switch (t) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

TModalResult TimedMessageDlgEx(const std::string& ATitle, const std::string& AMsg, TMsgDlgType DlgType,
                               TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QPoint& APos,
                               int Timeout, TDefaultMonitor)
{
    if (!GuiAvailable()) {
        std::fprintf(stderr, "Vastrel: %s\n", AMsg.c_str());
        return Timeout > 0 ? mrOk : mrCancel;
    }
    auto box = std::make_unique<QMessageBox>();
    box->setObjectName(QStringLiteral("TimedMessageDlg"));
    box->setIcon(IconOf(DlgType));
    QString text = QStr(AMsg);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setText(text);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    std::map<QAbstractButton*, TModalResult> results;
    for (const TButtonInfo& b : ButtonTable) {
        if (!(Buttons & MsgDlgButton(b.Btn)))
            continue;
        QAbstractButton* button = box->addButton(b.Std);
        results[button] = b.Result;
        if (b.Btn == DefaultButton)
            box->setDefaultButton(static_cast<QPushButton*>(button));
    }
    if (!ATitle.empty()) {
        box->setWindowTitle(QStr(ATitle));
        const int titleWidth = GetTextWidthInFont(box->windowTitle(), box->font()) + 50;
        if (box->width() < titleWidth)
            box->setMinimumWidth(titleWidth);
    }
    box->adjustSize();
    if (APos.x() < 0 && APos.y() < 0) {
        if (QScreen* s = box->screen()) {
            const QRect g = s->availableGeometry();
            box->move(g.x() + (g.width() - box->width()) / 2, g.y() + (g.height() - box->height()) / 2);
        }
    } else
        PlaceFormAt(box.get(), APos);
    if (Timeout <= 0) {
        box->exec();
        const auto it = results.find(box->clickedButton());
        return it == results.end() ? mrCancel : it->second;
    }
    QEventLoop loop;
    QObject::connect(box.get(), &QMessageBox::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(Timeout * 1000, &loop, &QEventLoop::quit);
    box->show();
    loop.exec();
    const auto it = results.find(box->clickedButton());
    box->hide();
    return it == results.end() ? mrOk : it->second;
}

TModalResult TimedMessageDlg(const std::string& ATitle, const std::string& AMsg, TMsgDlgType DlgType,
                             TMsgDlgButtons Buttons, const QPoint& APos, int Timeout,
                             TDefaultMonitor AMonitor)
{
    const TMsgDlgBtn def = (Buttons & MsgDlgButton(mbOK))    ? mbOK
                           : (Buttons & MsgDlgButton(mbYes)) ? mbYes
                                                             : mbRetry;
    return TimedMessageDlgEx(ATitle, AMsg, DlgType, Buttons, def, APos, Timeout, AMonitor);
}

TModalResult ErrorDlgOnTopAt(const QPoint& APos, const std::string& ATitle, const std::string& AMsg,
                             TDefaultMonitor AMonitor)
{
    return TimedMessageDlg(ATitle, AMsg, mtError, MsgDlgButton(mbOK), APos, 0, AMonitor);
}

TModalResult ErrorDlgOnTop(const std::string& ATitle, const std::string& AMsg, TDefaultMonitor AMonitor)
{
    return ErrorDlgOnTopAt(DefaultFormPos, ATitle, AMsg, AMonitor);
}
