#include "foundation/gui/ShowMessageDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <deque>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/WinUtils.h"

namespace {
std::deque<TModalResult> GAnswers;
std::vector<TMsgDialogRequest> GLog;
// The one box of the unit; a box asked for while another shows gets a form of its own.
TShowMsgDialog* ShowMsgDialog = nullptr;

constexpr const char* ResultProperty = "modalResult";

QIcon Glyph(int index)
{
    QStyle* s = QApplication::style();
    switch (index) {
    case 0:
        return s->standardIcon(QStyle::SP_DialogCloseButton);
    case 1:
        return s->standardIcon(QStyle::SP_DialogCancelButton);
    case 2:
        return s->standardIcon(QStyle::SP_DialogYesButton);
    case 3:
        return s->standardIcon(QStyle::SP_DialogNoButton);
    default:
        return s->standardIcon(QStyle::SP_BrowserReload);
    }
}

QIcon Icon(int index)
{
    QStyle* s = QApplication::style();
    switch (index) {
    case 0:
        return s->standardIcon(QStyle::SP_MessageBoxWarning);
    case 1:
        return s->standardIcon(QStyle::SP_MessageBoxCritical);
    case 2:
        return s->standardIcon(QStyle::SP_MessageBoxInformation);
    default:
        return s->standardIcon(QStyle::SP_MessageBoxQuestion);
    }
}

bool HaveDisplay()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}
} // namespace

TShowMsgDialog::TShowMsgDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShowMsgDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setFixedSize(32, 32);
    stInfo = new QLabel(this);
    stInfo->setObjectName(QStringLiteral("stInfo"));
    stInfo->setFocusPolicy(Qt::StrongFocus);
    stInfo->setTextFormat(Qt::PlainText);
    stInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btLeft = new QPushButton(this);
    btLeft->setObjectName(QStringLiteral("btLeft"));
    btCenter = new QPushButton(this);
    btCenter->setObjectName(QStringLiteral("btCenter"));
    btClose = new QPushButton(this);
    btClose->setObjectName(QStringLiteral("btClose"));
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setSingleShot(true);
    connect(Timer, &QTimer::timeout, this, [this] { done(mrCancel); });

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addWidget(stInfo, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btLeft, btCenter, btClose}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(80);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, b] { done(b->property(ResultProperty).toInt()); });
        b->installEventFilter(this);
    }
    stInfo->installEventFilter(this);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(10, 10, 10, 10);
    main->setSpacing(10);
    main->addLayout(top, 1);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);
}

void TShowMsgDialog::SetButton(QPushButton* b, const QString& caption, int glyph, TModalResult result,
                               bool isDefault)
{
    b->setText(caption);
    b->setIcon(Glyph(glyph));
    b->setProperty(ResultProperty, result);
    b->setDefault(isDefault);
    b->setVisible(true);
}

int TShowMsgDialog::TimerInterval() const
{
    return RunTimer ? Timer->interval() : 0;
}

TModalResult TShowMsgDialog::Execute(const QPoint& APos, const std::string& AHint, int Delay,
                                     TMsgDialogType DlgType, TMsgDlgBtn DefaultButton, TDefaultMonitor)
{
    if (AHint.empty())
        return mrNone;
    btLeft->setVisible(false);
    btCenter->setVisible(false);
    btLeft->setDefault(false);
    btCenter->setDefault(false);
    SetButton(btClose, TrQ("&Close"), 0, mrCancel, false);
    imgIcon->setVisible(true);

    int icon = 2;
    QString title = TrQ("Information");
    switch (DlgType) {
    case mdtInformation:
    case mdtWarning:
    case mdtError:
        icon = DlgType == mdtInformation ? 2 : DlgType == mdtWarning ? 0 : 1;
        title = DlgType == mdtInformation ? TrQ("Information")
                : DlgType == mdtWarning   ? TrQ("Warning")
                                          : TrQ("Error");
        SetButton(btClose, TrQ("&Close"), 0, mrCancel, true);
        break;
    case mdtConfirm:
        icon = 3;
        title = TrQ("Confirm");
        SetButton(btCenter, TrQ("&Yes"), 2, mrYes, DefaultButton == mbYes);
        SetButton(btClose, TrQ("&No"), 3, mrNo, DefaultButton == mbNo);
        break;
    case mdtConfirmError:
        icon = 1;
        title = TrQ("Error");
        SetButton(btCenter, TrQ("&Yes"), 2, mrOk, DefaultButton == mbYes);
        SetButton(btClose, TrQ("Cancel"), 1, mrCancel, false);
        break;
    case mdtConfirmRetry:
        icon = 1;
        title = TrQ("Error");
        SetButton(btCenter, TrQ("&Retry"), 4, mrRetry, DefaultButton == mbRetry);
        SetButton(btClose, TrQ("Cancel"), 1, mrCancel, false);
        break;
    case mdtConfirmCancel:
        icon = 3;
        title = TrQ("Confirm");
        SetButton(btCenter, TrQ("&Yes"), 2, mrYes, DefaultButton == mbYes);
        SetButton(btClose, TrQ("Cancel"), 1, mrCancel, false);
        break;
    case mdtConfirmYesNo:
        icon = 3;
        title = TrQ("Confirm");
        SetButton(btLeft, TrQ("&Yes"), 2, mrYes, DefaultButton == mbYes);
        SetButton(btCenter, TrQ("&No"), 3, mrNo, DefaultButton == mbNo);
        SetButton(btClose, TrQ("Cancel"), 1, mrCancel, false);
        break;
    case mdtCustom:
        imgIcon->setVisible(false);
        btClose->setVisible(false);
        break;
    }
    imgIcon->setPixmap(Icon(icon).pixmap(32, 32));

    RunTimer = DlgType == mdtCustom || Delay > 0;
    if (RunTimer) {
        title = TrQ("Information");
        const int chars = static_cast<int>(QStr(AHint).toUcs4().size());
        Timer->setInterval(Delay > 0 ? Delay * 1000 : 2000 + 120 * chars);
    }
    setWindowTitle(title);

    QString text = QStr(AHint);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stInfo->setText(text);
    const QSize ts = GetMultiLineTextSize(text, stInfo->font());
    stInfo->setMinimumSize(ts.width() + 2, std::max(ts.height(), DlgType == mdtCustom ? 0 : 32));
    stInfo->setFocus();
    adjustSize();
    PlaceFormAt(this, APos, false);
    const int result = exec();
    Timer->stop();
    return result;
}

void TShowMsgDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    stInfo->setFocus();
    if (RunTimer)
        Timer->start();
}

bool TShowMsgDialog::HandleKey(QKeyEvent* event)
{
    if (RunTimer || event->key() == Qt::Key_F11) {
        done(mrCancel);
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        done(btClose->property(ResultProperty).toInt());
        return true;
    }
    return false;
}

bool TShowMsgDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TShowMsgDialog::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event))
        QDialog::keyPressEvent(event);
}

void TShowMsgDialog::reject()
{
    done(mrCancel);
}

void QueueMsgDialogAnswer(TModalResult result)
{
    GAnswers.push_back(result);
}

const std::vector<TMsgDialogRequest>& MsgDialogLog()
{
    return GLog;
}

void ClearMsgDialogLog()
{
    GLog.clear();
    GAnswers.clear();
}

TModalResult UnattendedResult(TMsgDialogType DlgType)
{
    return DlgType == mdtConfirm ? mrNo : mrCancel;
}

TModalResult ExecuteMsgDialog(const QPoint& APos, const std::string& AText, int Delay, TMsgDialogType DlgType,
                              TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor)
{
    if (AText.empty())
        return mrNone;
    if (!GAnswers.empty()) {
        const TModalResult r = GAnswers.front();
        GAnswers.pop_front();
        GLog.push_back({DlgType, AText, Delay, DefaultButton, r});
        return r;
    }
    if (!HaveDisplay()) {
        if (DlgType != mdtCustom)
            std::fprintf(stderr, "Vastrel: %s\n", AText.c_str());
        const TModalResult r = UnattendedResult(DlgType);
        GLog.push_back({DlgType, AText, Delay, DefaultButton, r});
        return r;
    }
    TShowMsgDialog* own = nullptr;
    TShowMsgDialog* dlg = ShowMsgDialog;
    if (!dlg) {
        dlg = ShowMsgDialog = new TShowMsgDialog(QApplication::activeWindow());
    } else {
        own = dlg = new TShowMsgDialog(QApplication::activeWindow());
    }
    TModalResult r = mrNone;
    GuardSlot([&] { r = dlg->Execute(APos, AText, Delay, DlgType, DefaultButton, AMonitor); });
    if (own)
        delete own;
    else {
        ShowMsgDialog = nullptr;
        delete dlg;
    }
    return r;
}

TModalResult MsgDialog(const std::string& AText, TMsgDialogType DlgType)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, 0, DlgType, mbYes, dmActiveForm);
}

TModalResult ErrorDialog(const std::string& AText, int Delay)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, Delay, mdtError, mbYes, dmActiveForm);
}

TModalResult ErrorDialogAt(const QPoint& APos, const std::string& AText, TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtError, mbCancel, AMonitor);
}

TModalResult InfoDialog(const std::string& AText, int Delay)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, Delay, mdtInformation, mbYes, dmActiveForm);
}

TModalResult InfoDialogAt(const QPoint& APos, const std::string& AText, TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtInformation, mbCancel, AMonitor);
}

bool ConfirmDialog(const std::string& AText)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, 0, mdtConfirm, mbYes, dmActiveForm) == mrYes;
}

bool ConfirmDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton,
                     TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtConfirm, DefaultButton, AMonitor) == mrYes;
}

bool ConfirmCancelDialog(const std::string& AText)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, 0, mdtConfirmCancel, mbYes, dmActiveForm) == mrCancel;
}

bool ConfirmErrorDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton,
                          TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtConfirmError, DefaultButton, AMonitor) == mrOk;
}

bool ConfirmRetryDialog(const std::string& AText)
{
    return ExecuteMsgDialog(DefaultFormPos, AText, 0, mdtConfirmRetry, mbYes, dmActiveForm) == mrRetry;
}

bool ConfirmRetryDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton,
                          TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtConfirmRetry, DefaultButton, AMonitor) == mrRetry;
}

TModalResult ConfirmYesNoDialogAt(const QPoint& APos, const std::string& AText, TMsgDlgBtn DefaultButton,
                                  TDefaultMonitor AMonitor)
{
    return ExecuteMsgDialog(APos, AText, 0, mdtConfirmYesNo, DefaultButton, AMonitor);
}
