#include "backup/gui/Anzeige.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/Gettext.h"

namespace {

const char* const IniSection = "StatusWindow";
constexpr int DesignWidth = 520;

enum TGlyph
{
    glCancel,
    glWarning,
    glDone,
    glContinue,
    glPause
};

QLabel* NewLabel(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

TNewProgressBar* NewBar(QWidget* parent, const char* name)
{
    auto* b = new TNewProgressBar(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->SetMin(0);
    b->SetMax(100);
    b->SetBorder(1);
    b->SetTransparent(false);
    b->setMinimumHeight(14);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return b;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

int SelectedActionToResult(int ItemIndex)
{
    return ItemIndex >= 1 && ItemIndex <= 4 ? mrShutdownAction + ItemIndex - 1 : mrNoAction;
}

std::string FileActionText(TFileAction Action)
{
    switch (Action) {
    case acCopy:
        return _("is being copied");
    case acCompress:
        return _("is being compressed");
    case acUnCompress:
        return _("is being decompressed");
    case acEncrypt:
        return _("is being encrypted");
    case acDecrypt:
        return _("is being decrypted");
    case acVerify:
    case acZipVerify:
        return _("is being verified");
    case acFtpWrite:
        return _("is being written via FTP");
    case acFtpRead:
        return _("is being read via FTP");
    case acScan:
        return _("is being scanned");
    case acZipCopy:
    case acSegmentCopy:
        return _("is being added to zip archive");
    case acPrepare:
        return _("is being prepared");
    default:
        return std::string();
    }
}

std::string ElapsedTimeText(TDateTime Value)
{
    const int64_t seconds = std::max<int64_t>(std::llround(Value * 86400.0), 0);
    char minSec[8];
    std::snprintf(minSec, sizeof minSec, "%.2d:%.2d", static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    std::string hours = std::to_string(seconds / 3600);
    if (hours.size() < 2)
        hours.insert(0, 1, '0');
    return hours + ":" + minSec;
}

// ---- construction

TZeigFortschritt::TZeigFortschritt(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZeigFortschritt"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);
    setModal(false);
    ATitel = QApplication::applicationDisplayName();

    ProgressPanel = new QWidget(this);
    ProgressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    laDesc = NewLabel(ProgressPanel, "laDesc");
    ZielLabel = NewLabel(ProgressPanel, "ZielLabel");
    ZielLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FileLabel = NewLabel(ProgressPanel, "FileLabel");
    ActionLabel = NewLabel(ProgressPanel, "ActionLabel");
    HinweisLabel = NewLabel(ProgressPanel, "HinweisLabel");
    HinweisLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FilePercentLabel = NewLabel(ProgressPanel, "FilePercentLabel");
    FilePercentLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    EinzelBalken = NewBar(ProgressPanel, "EinzelBalken");
    TotalLabel = NewLabel(ProgressPanel, "TotalLabel");
    StatusLabel1 = NewLabel(ProgressPanel, "StatusLabel1");
    StatusLabel2 = NewLabel(ProgressPanel, "StatusLabel2");
    for (QLabel* l : {StatusLabel1, StatusLabel2})
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    TotalPercentLabel = NewLabel(ProgressPanel, "TotalPercentLabel");
    TotalPercentLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    GesamtBalken = NewBar(ProgressPanel, "GesamtBalken");
    SpeedLabel = NewLabel(ProgressPanel, "SpeedLabel");
    QFont bold = laDesc->font();
    bold.setBold(true);
    laDesc->setFont(bold);
    FileLabel->setFont(bold);

    auto* panel = new QVBoxLayout(ProgressPanel);
    panel->setContentsMargins(Scaled(12), Scaled(10), Scaled(12), Scaled(4));
    panel->setSpacing(Scaled(3));
    auto* destRow = new QHBoxLayout;
    destRow->setSpacing(Scaled(10));
    destRow->addWidget(laDesc);
    destRow->addWidget(ZielLabel, 1);
    panel->addLayout(destRow);
    panel->addSpacing(Scaled(6));
    auto* subjectRow = new QHBoxLayout;
    subjectRow->setSpacing(0);
    subjectRow->addWidget(FileLabel);
    subjectRow->addWidget(ActionLabel);
    subjectRow->addStretch(1);
    panel->addLayout(subjectRow);
    auto* itemRow = new QHBoxLayout;
    itemRow->setSpacing(Scaled(10));
    itemRow->addWidget(HinweisLabel, 1);
    itemRow->addWidget(FilePercentLabel);
    itemRow->setContentsMargins(0, 0, Scaled(5), 0);
    panel->addLayout(itemRow);
    panel->addWidget(EinzelBalken);
    panel->addSpacing(Scaled(8));
    auto* statusGrid = new QGridLayout;
    statusGrid->setHorizontalSpacing(Scaled(10));
    statusGrid->setVerticalSpacing(Scaled(2));
    statusGrid->setContentsMargins(0, 0, Scaled(5), 0);
    statusGrid->addWidget(TotalLabel, 0, 0);
    statusGrid->addWidget(StatusLabel1, 0, 1);
    statusGrid->addWidget(TotalPercentLabel, 0, 2);
    statusGrid->addWidget(StatusLabel2, 1, 1, 1, 2);
    statusGrid->setColumnStretch(1, 1);
    panel->addLayout(statusGrid);
    panel->addWidget(GesamtBalken);
    panel->addWidget(SpeedLabel);

    rgAction = new QGroupBox(TrQ("Subsequent action"), this);
    rgAction->setObjectName(QStringLiteral("rgAction"));
    rgLayout = new QGridLayout(rgAction);
    rgLayout->setContentsMargins(Scaled(8), Scaled(4), Scaled(8), Scaled(4));
    rgButtons = new QButtonGroup(this);
    const char* const actions[] = {N_("None"), N_("Shutdown"), N_("Logoff"), N_("Standby"), N_("Hibernate")};
    for (int i = 0; i < 5; ++i) {
        auto* r = new QRadioButton(TrQ(actions[i]), rgAction);
        r->setObjectName(QStringLiteral("rgAction%1").arg(i));
        rgButtons->addButton(r, i);
    }
    rgButtons->button(0)->setChecked(true);
    ArrangeActions(5);

    cbRepeat = new QCheckBox(TrQ("Repeat"), this);
    cbRepeat->setObjectName(QStringLiteral("cbRepeat"));
    Button = NewButton(this, "Button", TrQ("Cancel"));
    Button->setMinimumWidth(Scaled(110));
    ViewLog = NewButton(this, "ViewLog", TrQ("Log"));
    MinimizeBtn = NewButton(this, "MinimizeBtn", QString());
    MinimizeBtn->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
    MinimizeBtn->setToolTip(TrQ("Minimize"));
    PauseBtn = NewButton(this, "PauseBtn", QString());
    PauseBtn->setToolTip(TrQ("Pause"));
    SetGlyph(PauseBtn, glPause);
    auto* buttonRow = new QGridLayout;
    buttonRow->setContentsMargins(Scaled(12), Scaled(4), Scaled(10), Scaled(4));
    auto* leftBox = new QHBoxLayout;
    leftBox->addStretch(1);
    auto* rightBox = new QHBoxLayout;
    rightBox->setSpacing(Scaled(5));
    rightBox->addStretch(1);
    rightBox->addWidget(cbRepeat);
    rightBox->addSpacing(Scaled(10));
    rightBox->addWidget(MinimizeBtn);
    rightBox->addWidget(PauseBtn);
    rightBox->addWidget(ViewLog);
    buttonRow->addLayout(leftBox, 0, 0);
    buttonRow->addWidget(Button, 0, 1);
    buttonRow->addLayout(rightBox, 0, 2);
    buttonRow->setColumnStretch(0, 1);
    buttonRow->setColumnStretch(2, 1);

    VersionLabel = NewLabel(this, "VersionLabel");
    UserLabel = NewLabel(this, "UserLabel");
    UserLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* l : {VersionLabel, UserLabel}) {
        QFont f = l->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        l->setFont(f);
        l->setForegroundRole(QPalette::PlaceholderText);
    }
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(Scaled(12), 0, Scaled(12), Scaled(4));
    footer->addWidget(VersionLabel);
    footer->addStretch(1);
    footer->addWidget(UserLabel);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(Scaled(4));
    main->addWidget(ProgressPanel);
    auto* rgRow = new QHBoxLayout;
    rgRow->setContentsMargins(Scaled(12), 0, Scaled(12), 0);
    rgRow->addWidget(rgAction);
    main->addLayout(rgRow);
    main->addLayout(buttonRow);
    main->addLayout(footer);

    tmUpdate = new QTimer(this);
    tmUpdate->setObjectName(QStringLiteral("tmUpdate"));
    tmUpdate->setInterval(100);
    tmWait = new QTimer(this);
    tmWait->setObjectName(QStringLiteral("tmWait"));
    tmWait->setInterval(1000);
    connect(tmUpdate, &QTimer::timeout, this, [this] { GuardSlot([this] { UpdateTimer(); }); });
    connect(tmWait, &QTimer::timeout, this, [this] { GuardSlot([this] { WaitTick(); }); });
    connect(Button, &QPushButton::clicked, this, [this] { GuardSlot([this] { ButtonClick(); }); });
    connect(PauseBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { PauseBtnClick(); }); });
    connect(MinimizeBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { MinimizeBtnClick(); }); });
    connect(ViewLog, &QPushButton::clicked, this, [this] { GuardSlot([this] { ViewLogClick(); }); });

    DefWidth = Scaled(DesignWidth);
    resize(DefWidth, height());
    rgAction->setVisible(false);
    cbRepeat->setVisible(false);
    ViewLog->setVisible(false);
    ResetView();
}

TZeigFortschritt::~TZeigFortschritt() = default;

int TZeigFortschritt::Scaled(int value) const
{
    return ScaleToFormDpi(value, this);
}

void TZeigFortschritt::RunOnGui(std::function<void()> fn)
{
    if (QThread::currentThread() == thread())
        GuardSlot(fn);
    else
        QMetaObject::invokeMethod(
            this, [fn] { GuardSlot(fn); }, Qt::QueuedConnection);
}

void TZeigFortschritt::SetGlyph(QPushButton* button, int index)
{
    static const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogCancelButton,
                                                   QStyle::SP_MessageBoxWarning, QStyle::SP_DialogApplyButton,
                                                   QStyle::SP_MediaPlay, QStyle::SP_MediaPause};
    button->setIcon(style()->standardIcon(icons[index]));
    button->setProperty("glyph", index);
}

void TZeigFortschritt::ArrangeActions(int columns)
{
    RgColumns = columns;
    for (int i = 0; i < 5; ++i)
        rgLayout->removeWidget(rgButtons->button(i));
    for (int i = 0; i < 5; ++i)
        rgLayout->addWidget(rgButtons->button(i), i / columns, i % columns);
}

void TZeigFortschritt::ApplyContentHeight()
{
    layout()->activate();
    const int h = layout()->heightForWidth(width()) > 0 ? layout()->heightForWidth(width())
                                                        : layout()->sizeHint().height();
    setFixedHeight(h);
}

void TZeigFortschritt::SetTaskBarState(int state)
{
    if (OnTaskBarState)
        OnTaskBarState(state);
}

void TZeigFortschritt::UpdateTaskBar()
{
    if (OnTaskBarProgress)
        OnTaskBarProgress(Snapshot().Total, GesamtBalken->Max());
}

// ---- setters

void TZeigFortschritt::SetTitel(const std::string& Value)
{
    RunOnGui([this, Value] { setWindowTitle(QStr(Value)); });
}

void TZeigFortschritt::SetDescription(const std::string& Value)
{
    RunOnGui([this, Value] { laDesc->setText(QStr(Value)); });
}

void TZeigFortschritt::SetDestination(const std::string& Value)
{
    RunOnGui([this, Value] {
        const int space =
            std::max(EinzelBalken->geometry().right() - ZielLabel->geometry().left(), Scaled(100));
        ZielLabel->setText(ZielLabel->fontMetrics().elidedText(QStr(Value), Qt::ElideMiddle, space));
        ZielLabel->setToolTip(QStr(Value));
    });
}

void TZeigFortschritt::SetPrompt(const std::string& Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.Hinweis = Value;
}

void TZeigFortschritt::SetActionHint(const std::string& Value)
{
    if (Value.empty())
        return;
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.Action = Value;
    FAction = acNone;
}

void TZeigFortschritt::SetSourceType(TSourceSelection Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (Value == FSource)
        return;
    FSource = Value;
    switch (Value) {
    case ssFile:
        UpdateStatus.Subject = _("File ");
        break;
    case ssDir:
        UpdateStatus.Subject = _("Directory ");
        break;
    case ssZip:
        UpdateStatus.Subject = _("Zip archive ");
        break;
    case ssTempZip:
        UpdateStatus.Subject = _("Temporary zip archive ");
        break;
    default:
        UpdateStatus.Subject.clear();
    }
}

void TZeigFortschritt::SetAction(TFileAction Value)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (Value == FAction)
            return;
        FAction = Value;
        if (Value == acAddVerify)
            UpdateStatus.Action += _(" and verified");
        else
            UpdateStatus.Action = FileActionText(Value);
    }
    if (Value == acScan)
        RunOnGui([this] { FilePercentLabel->clear(); });
}

void TZeigFortschritt::SetSpeed(const std::string& Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.Speed = Value;
}

void TZeigFortschritt::SetTotalAmount(const std::string& Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.TotAmount = Value;
}

void TZeigFortschritt::SetStepAmount(int64_t Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.FSize = Value;
}

void TZeigFortschritt::SetElapsedTime(TDateTime Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.ElapsedTime = ElapsedTimeText(Value);
}

TNewProgressBarStyle TZeigFortschritt::StepStyle() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FStepStyle;
}

void TZeigFortschritt::SetStepStyle(TNewProgressBarStyle Value)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (Value == FStepStyle)
            return;
        FStepStyle = Value;
    }
    RunOnGui([this, Value] { EinzelBalken->SetStyle(Value); });
}

void TZeigFortschritt::SetStepProgress(int Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.Single = std::clamp(Value, 0, 100);
}

void TZeigFortschritt::SetTotalProgress(int Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    LastTotal = std::min(Value, 99);
    UpdateStatus.Total = std::clamp(LastTotal, 0, 100);
}

void TZeigFortschritt::SetTempTotalProgress(int Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    UpdateStatus.Total = std::clamp(std::min(LastTotal + Value, 99), 0, 100);
}

void TZeigFortschritt::UpdateTotalProgress(int Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    LastTotal += Value;
    UpdateStatus.Total = LastTotal;
}

void TZeigFortschritt::SetPauseEnabled(bool Value)
{
    RunOnGui([this, Value] { PauseBtn->setEnabled(Value); });
}

int TZeigFortschritt::LockStatus() const
{
    return FControl ? FControl->LockStatus() : FLockStatus.load();
}

void TZeigFortschritt::SetLockStatus(int Value)
{
    FLockStatus = Value;
    if (FControl)
        FControl->SetLockStatus(Value);
}

TUpdateStatus TZeigFortschritt::Snapshot() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return UpdateStatus;
}

void TZeigFortschritt::UpdatePrompt(TSourceSelection ASource, const std::string& AHint,
                                    const std::string& APrompt, int64_t FileSize)
{
    SetSourceType(ASource);
    SetActionHint(AHint);
    {
        std::lock_guard<std::mutex> lock(FLock);
        UpdateStatus.FSize = FileSize;
        UpdateStatus.Hinweis = APrompt;
    }
    RunOnGui([this] {
        if (isVisible())
            UpdateView();
    });
}

void TZeigFortschritt::WriteStatus(int Index, const std::string& AText)
{
    std::lock_guard<std::mutex> lock(FLock);
    const int primary = SwappedStatus ? 2 : 1;
    if (Index == primary) {
        UpdateStatus.Status1 = AText;
        UseFirstStatus = false;
    } else if (UseFirstStatus) {
        UpdateStatus.Status1 = AText;
    } else {
        UpdateStatus.Status2 = AText;
    }
}

// ---- drawing

QString TZeigFortschritt::ShortenedItem(const QString& text, int space) const
{
    const QFontMetrics fm = HinweisLabel->fontMetrics();
    if (fm.horizontalAdvance(text) <= space)
        return text;
    QString s = fm.elidedText(text, Qt::ElideMiddle, space);
    if (fm.horizontalAdvance(s) <= space)
        return s;
    s = text;
    while (s.size() >= 10 && fm.horizontalAdvance(s) >= space)
        s.remove(0, 3);
    return QStringLiteral("...") + s;
}

void TZeigFortschritt::UpdateView()
{
    const TUpdateStatus u = Snapshot();
    TFileAction action;
    {
        std::lock_guard<std::mutex> lock(FLock);
        action = FAction;
    }
    FileLabel->setText(QStr(u.Subject));
    ActionLabel->setText(QStr(u.Action));
    StatusLabel1->setText(QStr(u.Status1));
    StatusLabel2->setText(QStr(u.Status2));
    std::string speed = u.Speed;
    if (!u.ElapsedTime.empty())
        speed = speed.empty() ? u.ElapsedTime : speed + " - " + u.ElapsedTime;
    SpeedLabel->setText(QStr(speed));

    EinzelBalken->SetPosition(u.Single);
    QString filePercent;
    if (u.FSize > 0 && action == acZipVerify)
        filePercent = QStr(std::to_string(u.Single) + "%" + _(" of ") + FileCountText(u.FSize, false));
    else if (u.FSize > 0 && action != acNone)
        filePercent = QStr(std::to_string(u.Single) + "%" + _(" of ") + FormatSize(false, u.FSize));
    FilePercentLabel->setText(filePercent);

    GesamtBalken->SetPosition(std::clamp(u.Total, GesamtBalken->Min(), GesamtBalken->Max()));
    TotalPercentLabel->setText(
        u.TotAmount.empty() ? QString() : QStr(std::to_string(u.Total) + "%" + _(" of ") + u.TotAmount));

    const QString item = QStr(u.Hinweis);
    const int space = EinzelBalken->width() - FilePercentLabel->sizeHint().width() - Scaled(10);
    const QString shown = ShortenedItem(item, std::max(space, Scaled(40)));
    HinweisLabel->setText(shown);
    HinweisLabel->setToolTip(shown.size() == item.size() ? QString() : item);

    if (isVisible() && LockStatus() == 0 && !Minimized && ShowOnTop)
        raise();
}

void TZeigFortschritt::UpdateTimer()
{
    if (isVisible() && AutoUpdate)
        UpdateView();
    const TUpdateStatus u = Snapshot();
    // The program's name in the task list: the progress while another program is in front.
    const QString title = QApplication::applicationState() == Qt::ApplicationActive
                              ? ATitel
                              : QString::number(u.Total) + QStringLiteral("% => ") + ZielLabel->text();
    if (title != QApplication::applicationDisplayName())
        QApplication::setApplicationDisplayName(title);
    UpdateTaskBar();
    if (OnRefresh)
        OnRefresh();
}

void TZeigFortschritt::ResetView()
{
    EinzelBalken->SetPosition(0);
    GesamtBalken->SetPosition(0);
    TotalLabel->setText(TrQ("Total:"));
    for (QLabel* l : {StatusLabel1, StatusLabel2}) {
        l->setPalette(QPalette());
        l->clear();
    }
    StatusLabel2->setVisible(true);
    tmWait->stop();
    CloseCount = 0;
    {
        std::lock_guard<std::mutex> lock(FLock);
        LastTotal = 0;
        FSource = ssNoSrc;
        FAction = acNone;
        UpdateStatus = TUpdateStatus();
    }
    FileLabel->clear();
    ActionLabel->clear();
    SpeedLabel->clear();
    HinweisLabel->clear();
    HinweisLabel->setToolTip(QString());
    HinweisLabel->setVisible(true);
    Button->setText(TrQ("Cancel"));
    Button->setDefault(false);
    SetGlyph(Button, glCancel);
}

// ---- a run

void TZeigFortschritt::ShowProgress(TRunControl* control, const std::string& Task, const std::string& Desc,
                                    const std::string& Dest, TProgressOptions AOptions, int SelectedAction,
                                    int Wait, bool Swapped)
{
    setResult(0);
    FControl = control;
    CloseWin = false;
    InResultView = false;
    setWindowTitle(QStr(GetProgNameVersion(0) + " => " + Task));
    TaskDesc = Task;
    ZielLabel->setText(QStr(Dest));
    ZielLabel->setToolTip(QStr(Dest));
    laDesc->setText(QStr(Desc + ":"));
    {
        std::lock_guard<std::mutex> lock(FLock);
        SwappedStatus = Swapped;
        UseFirstStatus = true;
    }
    FilePercentLabel->clear();
    TotalPercentLabel->clear();
    FilePercentLabel->setVisible(true);
    TotalPercentLabel->setVisible(true);
    Stopped = false;
    Paused = false;
    IsBackup = (AOptions & ProgressOption(poBackup)) != 0;
    IsAutoTask = (AOptions & ProgressOption(poAutoTask)) != 0;
    SelAction = SelectedAction;
    const bool withAction = (AOptions & ProgressOption(poAction)) != 0;
    rgAction->setVisible(withAction);
    const int index = withAction ? SelAction : 0;
    if (QAbstractButton* b = rgButtons->button(index >= 0 && index <= 4 ? index : 0))
        b->setChecked(true);
    ViewLog->setVisible(false);
    cbRepeat->setVisible(false);
    SetGlyph(PauseBtn, glPause);
    PauseBtn->setToolTip(TrQ("Pause"));
    PauseBtn->setVisible((AOptions & ProgressOption(poPause)) != 0);
    MinimizeBtn->setVisible((AOptions & ProgressOption(poMinimize)) != 0);
    ApplyContentHeight();
    SetTaskBarState(1);
    ResetView();
    Button->setEnabled(true);
    tmUpdate->start();
    if (Wait >= 0) {
        UpdateView();
        AutoUpdate = true;
        IsActive = true;
        if (!isVisible())
            show();
    }
}

int TZeigFortschritt::Terminate()
{
    SetTaskBarState(0);
    const int code = SelectedActionToResult(rgButtons->checkedId());
    ResetView();
    tmUpdate->stop();
    IsActive = false;
    if (isVisible())
        close();
    return code;
}

void TZeigFortschritt::CloseStatus()
{
    CloseWin = true;
}

void TZeigFortschritt::CloseView()
{
    tmUpdate->stop();
    IsActive = false;
    if (isVisible())
        close();
}

int TZeigFortschritt::ShowStatus(TResultStatus Mode, const std::string& Hinweis, const std::string& AStatus1,
                                 const std::string& AStatus2, int32_t AColor, int Wait)
{
    setResult(0);
    tmUpdate->stop();
    IsActive = true;
    AutoUpdate = false;
    SetLockStatus(0);
    InResultView = true;
    if (Mode != psCancel) {
        std::lock_guard<std::mutex> lock(FLock);
        UpdateStatus.Total = 100;
    }
    QApplication::setApplicationDisplayName(ATitel);
    UpdateTaskBar();

    SetSourceType(ssNoSrc);
    SetAction(acNone);
    SetActionHint(Hinweis);
    HinweisLabel->setVisible(false);
    TotalLabel->setText(TrQ("Status:"));
    {
        std::lock_guard<std::mutex> lock(FLock);
        UpdateStatus.Status1 = AStatus1;
        if (!AStatus2.empty())
            UpdateStatus.Status2 = AStatus2;
    }
    QPalette pal;
    QColor color = ColorFromTColor(AColor);
    if (IsStyleActive() && color.lightness() < 170) {
        // The dark style: the same hue, light enough to read on the dark background.
        const int hue = color.hslHue() < 0 ? 0 : color.hslHue();
        color = QColor::fromHsl(hue, color.hslSaturation(), 170);
    }
    pal.setColor(QPalette::WindowText, color);
    for (QLabel* l : {StatusLabel1, StatusLabel2})
        l->setPalette(pal);
    UpdateView();
    {
        std::lock_guard<std::mutex> lock(FLock);
        UseFirstStatus = true;
        UpdateStatus.Single = 0;
    }
    EinzelBalken->SetPosition(0);

    int sound = 0;
    switch (Mode) {
    case psCancel:
        SetGlyph(Button, glCancel);
        sound = 16;
        break;
    case psError:
    case psWarning:
        SetGlyph(Button, glWarning);
        sound = 48;
        break;
    default:
        SetGlyph(Button, glDone);
    }
    PauseBtn->setVisible(false);
    MinimizeBtn->setVisible(false);
    Button->setEnabled(true);
    Button->setText(TrQ("Done"));
    Button->setDefault(true);

    if (Mode != psCancel && Wait >= 0 && rgAction->isVisible() && rgButtons->checkedId() > 0 &&
        SelAction == 0)
        Wait = ProgSettings.ViewSettings.AutoWaitTime;
    if (ProgSettings.ViewSettings.PlaySound && SoundOn && sound >= 0)
        QApplication::beep();

    const bool failed = Mode == psCancel || Mode == psError;
    bool wait = false;
    bool countdown = false;
    if (Wait < 0)
        wait = failed && Wait != -1;
    else if (Wait == 0)
        wait = true;
    else if (failed && (Wait & 4096) != 0)
        wait = true;
    else {
        wait = true;
        countdown = true;
        CloseCount = Wait & 4095;
    }
    ShowLog = false;
    cbRepeat->setChecked(false);
    if (wait) {
        ViewLog->setVisible(!countdown);
        cbRepeat->setVisible(!countdown && Mode != psOK);
        if (countdown) {
            Button->setText(TrQ("Done") + QStringLiteral(" (%1 s)").arg(CloseCount));
            tmWait->start();
        }
        if (!isVisible())
            show();
        if (!countdown)
            raise();
        ApplyContentHeight();
        // A Done pressed while the view comes up must not be lost: clear the flag first.
        CloseWin = false;
        QApplication::processEvents();
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(100);
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (CloseWin || !isVisible())
                loop.quit();
        });
        poll.start();
        if (!CloseWin)
            loop.exec();
        poll.stop();
        tmWait->stop();
        IsActive = false;
        if (isVisible())
            close();
    }

    int code;
    if (cbRepeat->isChecked())
        code = mrRepeatRun;
    else if (Mode == psCancel)
        code = mrCanceledRun;
    else
        code = SelectedActionToResult(rgButtons->checkedId());
    if (ShowLog)
        code += mrShowLogBit;
    ResetView();
    InResultView = false;
    SetTaskBarState(0);
    return code;
}

void TZeigFortschritt::WaitTick()
{
    if (CloseCount <= 0)
        return;
    --CloseCount;
    Button->setText(TrQ("Done") + QStringLiteral(" (%1 s)").arg(CloseCount));
    if (CloseCount == 0) {
        tmWait->stop();
        CloseWin = true;
    }
}

// ---- the run's questions

bool TZeigFortschritt::Confirm(const std::string& Msg)
{
    SetLockStatus(1);
    const bool yes = ConfirmDialog(Msg);
    SetLockStatus(0);
    return yes;
}

void TZeigFortschritt::ShowError(const std::string& Msg, int Delay)
{
    SetLockStatus(1);
    ErrorDialog(Msg, Delay);
    SetLockStatus(0);
}

int TZeigFortschritt::GetPassword(const std::string& Title, const std::string& Prompt, bool Skip,
                                  std::string& Pwd)
{
    SetLockStatus(1);
    const int r = AskPasswordCentered(Title, Prompt, Skip, Pwd);
    SetLockStatus(0);
    return r;
}

// ---- buttons

void TZeigFortschritt::ButtonClick()
{
    if (LockStatus() == 1)
        return;
    if (InResultView) {
        CloseWin = true;
        return;
    }
    if (LockStatus() == 2) {
        if (FControl)
            FControl->StopWaiting();
        return;
    }
    if (IsBackup && IdleBackup)
        return;
    if (FControl)
        FControl->SetPaused(true);
    tmUpdate->stop();
    int choice;
    if (IsAutoTask) {
        choice = SelectChoiceAt(GetBottomRightPosOfs(Button, QPoint(10, 50)), StdStr(windowTitle()),
                                _("An automatic backup is running!\r\nDo you really want to cancel?"),
                                mtConfirmation, false, {_("Only current"), _("Cancel all")}, std::string(), 0,
                                0, _("Continue"));
    } else {
        choice = ConfirmDialogAt(GetTopRightPosOfs(Button, QPoint(10, -100)),
                                 _("Do you really want to cancel the action?"), mbNo, dmActiveForm)
                     ? 0
                     : -1;
    }
    if (choice >= 0) {
        Stopped = true;
        if (FControl)
            FControl->Cancel(choice == 1);
    } else if (FControl) {
        FControl->SetPaused(Paused);
    }
    if (Button->isEnabled())
        tmUpdate->start();
}

void TZeigFortschritt::PauseBtnClick()
{
    if (LockStatus() != 0)
        return;
    Paused = !Paused;
    if (FControl)
        FControl->SetPaused(Paused);
    if (Paused) {
        PauseBtn->setToolTip(TrQ("Continue"));
        SetGlyph(PauseBtn, glContinue);
        SetTaskBarState(8);
        Button->setEnabled(false);
        tmUpdate->stop();
    } else {
        PauseBtn->setToolTip(TrQ("Pause"));
        SetGlyph(PauseBtn, glPause);
        SetTaskBarState(2);
        Button->setEnabled(true);
        tmUpdate->start();
    }
}

void TZeigFortschritt::MinimizeBtnClick()
{
    if (LockStatus() != 0)
        return;
    if (FControl) {
        Minimized = true;
        showMinimized();
    }
}

void TZeigFortschritt::ViewLogClick()
{
    ShowLog = true;
    CloseWin = true;
}

void TZeigFortschritt::ShowTotalInfo()
{
    const TUpdateStatus u = Snapshot();
    std::string text;
    if (InResultView) {
        text = _("Backup completed") + ": " + u.Status1;
        if (!u.Status2.empty())
            text += "\r\n" + u.Status2;
    } else {
        text = _("Total progress") + ": " + std::to_string(u.Total) + "%";
    }
    InfoDialog(text, 0);
}

// ---- window events

void TZeigFortschritt::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        GuardSlot([this] { ShowTotalInfo(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TZeigFortschritt::reject()
{
    // Esc acts as the Cancel or Done button.
    GuardSlot([this] { ButtonClick(); });
}

void TZeigFortschritt::closeEvent(QCloseEvent* event)
{
    GuardSlot([&] {
        if (IsActive && !InResultView && FControl && !FControl->Stopped()) {
            // Closing a running view asks like Cancel; the window stays while the run goes on.
            event->ignore();
            ButtonClick();
            return;
        }
        QApplication::setApplicationDisplayName(ATitel);
        const QPoint p = pos();
        if (QGuiApplication::screens().size() < 2) {
            Left1 = p.x();
            Top1 = p.y();
        } else {
            Left2 = p.x();
            Top2 = p.y();
        }
        if (QvInstance == 0)
            SaveToIni();
        CloseWin = true;
        event->accept();
    });
}

void TZeigFortschritt::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    GuardSlot([this] {
        const int columns = width() < DefWidth ? 3 : 5;
        if (columns != RgColumns) {
            ArrangeActions(columns);
            ApplyContentHeight();
        }
    });
}

void TZeigFortschritt::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    GuardSlot([this] {
        PlaceWindow();
        Minimized = false;
        UpdateView();
        ApplyContentHeight();
    });
}

void TZeigFortschritt::PlaceWindow()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QPoint p(Left1, Top1);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screens.size() >= 2) {
        p = QPoint(Left2, Top2);
        if (QScreen* s = QGuiApplication::screenAt(p))
            screen = s;
    }
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    int left = p.x(), top = p.y();
    if (QvInstance >= 1) {
        const int rows = std::max(area.height() / (height() + 10), 1);
        left = area.left() + ((QvInstance - 1) / rows) * (width() + 10) + 10;
        top = area.top() + ((QvInstance - 1) % rows) * (height() + 10) + 10;
    } else {
        if (left + width() > area.right()) {
            left = area.right() - width() - 50;
            if (left <= area.left())
                left = area.left() + 50;
        }
        if (top + height() > area.bottom()) {
            top = area.bottom() - height() - 50;
            if (top <= area.top())
                top = area.top() + 50;
        }
    }
    move(left, top);
}

// ---- window state

void TZeigFortschritt::LoadFromIni(const std::string& AIniName)
{
    FIniName = AIniName;
    if (FIniName.empty())
        return;
    TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(FIniName);
    Top1 = ini.ReadInteger(IniSection, "Top", Top1);
    Top2 = ini.ReadInteger(IniSection, "Top2", Top2);
    Left1 = ini.ReadInteger(IniSection, "Left", Left1);
    Left2 = ini.ReadInteger(IniSection, "Left2", Left2);
    const int w = ini.ReadInteger(IniSection, "Width", width());
    if (w >= width() / 2)
        resize(w, height());
}

void TZeigFortschritt::SaveToIni()
{
    if (FIniName.empty())
        return;
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(FIniName, false);
        ini.WriteInteger(IniSection, "Top", Top1);
        ini.WriteInteger(IniSection, "Top2", Top2);
        ini.WriteInteger(IniSection, "Left", Left1);
        ini.WriteInteger(IniSection, "Left2", Left2);
        ini.WriteInteger(IniSection, "Width", width());
        ini.UpdateFile();
    } catch (const std::exception& e) {
        ErrorDialog(e.what(), 0);
    }
}

void TZeigFortschritt::ResetPosition()
{
    Left1 = Top1 = Left2 = Top2 = 50;
    move(50, 50);
}

void TZeigFortschritt::ResetSize()
{
    resize(DefWidth, height());
    ApplyContentHeight();
}

void TZeigFortschritt::WriteVersion(const std::string& AVersion, const std::string& AUser)
{
    VersionLabel->setText(QStr(AVersion));
    UserLabel->setText(QStr(AUser));
}
