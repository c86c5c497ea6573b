#include "backup/gui/BuFtpDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "backup/gui/FtpDirDlg.h"
#include "backup/gui/FtpProxyDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/EditHistListDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/DateTime.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr int DefaultPort = 21;
constexpr int ImplicitTlsPort = 990;

template <typename T> T* Named(T* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QPushButton* ToolButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const char* hint)
{
    auto* b = Named(new QPushButton(parent), name);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(TrQ(hint));
    b->setAutoDefault(false);
    return b;
}

TRangeEdit* RangeEdit(QWidget* parent, const char* name, int min, int max, int value)
{
    auto* e = Named(new TRangeEdit(parent), name);
    e->SetPrefix(false);
    e->SetMinValue(min);
    e->SetMaxValue(max);
    e->SetValue(value);
    e->setMaximumWidth(70);
    return e;
}

QIcon ShieldIcon(QStyle* style)
{
    QIcon icon = QIcon::fromTheme(QStringLiteral("security-high"));
    if (icon.isNull())
        icon = style->standardIcon(QStyle::SP_VistaShield);
    if (icon.isNull())
        icon = style->standardIcon(QStyle::SP_MessageBoxWarning);
    return icon;
}

// A number field with its up-down buttons and its unit, left-aligned.
QHBoxLayout* NumberRow(QWidget* edit, QWidget* upDown, QWidget* unit)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(edit);
    if (upDown)
        row->addWidget(upDown);
    if (unit) {
        row->addSpacing(6);
        row->addWidget(unit);
    }
    row->addStretch(1);
    return row;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const char* text)
{
    return Named(new QCheckBox(TrQ(text), parent), name);
}

QLabel* Label(QWidget* parent, const char* text, QWidget* buddy)
{
    auto* l = new QLabel(TrQ(text), parent);
    l->setBuddy(buddy);
    return l;
}

int LocalOffsetHours()
{
    return static_cast<int>(UtcOffsetSeconds(static_cast<int64_t>(std::time(nullptr))) / 3600);
}

std::string LogFileName()
{
    std::string dir = GetLogDir();
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + "QvFtp.log";
}

// The page of the stacked pages that holds w.
QWidget* PageOf(QStackedWidget* pages, QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (p->parentWidget() == pages)
            return p;
    return nullptr;
}

} // namespace

TFtpDialog::TFtpDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("FtpDialog"));
    setWindowTitle(TrQ("FTP connection settings"));
    pcSettings = Named(new QStackedWidget(this), "pcSettings");
    pcSettings->addWidget(BuildGeneralPage());
    pcSettings->addWidget(BuildAdvancedPage());
    pcSettings->addWidget(BuildCertificatePage());

    cbFtpLog = CheckBox(this, "cbFtpLog", "Write communication log to file");
    cbFtpLog->setToolTip(TrQ("This option is only for debugging purposes"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcSettings);
    layout->addWidget(cbFtpLog);
    const TOkCancel buttons = AddOkCancel(this, layout);
    // Cancel does not take the focus, so leaving a number field by it does not check its range.
    buttons.Cancel->setFocusPolicy(Qt::NoFocus);

    pmHistList = Named(new QMenu(this), "pmHistList");
    QAction* edit = pmHistList->addAction(TrQ("Edit list ..."));
    edit->setObjectName(QStringLiteral("pmiEditList"));
    pmHistList->addAction(TrQ("Cancel"))->setObjectName(QStringLiteral("pmiCancel"));
    connect(edit, &QAction::triggered, this, [this] { GuardSlot([this] { EditHistory(); }); });
    for (THistoryCombo* combo : {edServer, edUsername, edDir}) {
        combo->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(combo->lineEdit(), &QWidget::customContextMenuRequested, this,
                [this, combo](const QPoint& p) {
                    FMenuCombo = combo;
                    pmHistList->popup(combo->lineEdit()->mapToGlobal(p));
                });
    }
    SetStaticTabStops(this, false);
}

QWidget* TFtpDialog::BuildGeneralPage()
{
    auto* page = Named(new QWidget(this), "tsGeneral");
    edServer = Named(new THistoryCombo(page), "edServer");
    edServer->setMinimumWidth(300);
    edUsername = Named(new THistoryCombo(page), "edUsername");
    edtFtpPwd = Named(new QLineEdit(page), "edtFtpPwd");
    edtFtpPwd->setReadOnly(true);
    edtFtpPwd->setFocusPolicy(Qt::NoFocus);
    edtFtpPwd->setToolTip(TrQ("Click button to enter password"));
    bbPassword = Named(new QPushButton(QStringLiteral("…"), page), "bbPassword");
    bbPassword->setToolTip(TrQ("Specify password"));
    bbPassword->setAutoDefault(false);
    edtPort = RangeEdit(page, "edtPort", 0, 65535, DefaultPort);
    edDir = Named(new THistoryCombo(page), "edDir");
    btnPhDir = ToolButton(page, "btnPhDir", QStyle::SP_FileDialogContentsView, "Insert placeholder");
    btnDir = ToolButton(page, "btnDir", QStyle::SP_DirOpenIcon, "Select remote directory");

    auto* grid = new QGridLayout;
    grid->addWidget(Label(page, "Server name:", edServer), 0, 0);
    grid->addWidget(edServer, 0, 1, 1, 3);
    grid->addWidget(Label(page, "User name: ", edUsername), 1, 0);
    grid->addWidget(edUsername, 1, 1, 1, 3);
    grid->addWidget(Label(page, "Password:", edtFtpPwd), 2, 0);
    grid->addWidget(edtFtpPwd, 2, 1, 1, 2);
    grid->addWidget(bbPassword, 2, 3);
    grid->addWidget(Label(page, "Port:", edtPort), 3, 0);
    grid->addWidget(edtPort, 3, 1, Qt::AlignLeft);
    grid->addWidget(Label(page, "Remote directory:", edDir), 4, 0);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(edDir, 1);
    dirRow->addWidget(btnPhDir);
    dirRow->addWidget(btnDir);
    grid->addLayout(dirRow, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* secure = Named(new QGroupBox(TrQ("Use secure data connection"), page), "gbSecure");
    cbSecure = Named(new QComboBox(secure), "cbSecure");
    for (const char* item : {"None", "If available (explicit)", "Require (explicit)", "Always (implicit)"})
        cbSecure->addItem(TrQ(item));
    btnSecurity =
        ToolButton(secure, "btnSecurity", QStyle::SP_MessageBoxWarning, "Server certificate vericfiation");
    btnSecurity->setIcon(ShieldIcon(style()));
    auto* secureRow = new QHBoxLayout(secure);
    secureRow->addWidget(cbSecure, 1);
    secureRow->addWidget(btnSecurity);

    pcOptions = Named(new QTabWidget(page), "pcOptions");
    auto* options = new QWidget(pcOptions);
    cbPassive = CheckBox(options, "cbPassive", "Use passive mode");
    cbUseIPv6 = CheckBox(options, "cbUseIPv6", "Use IPv6");
    cbUtf8 = CheckBox(options, "cbUtf8", "Force UTF-8 encoding");
    auto* ol = new QVBoxLayout(options);
    for (QWidget* w :
         {static_cast<QWidget*>(cbPassive), static_cast<QWidget*>(cbUseIPv6), static_cast<QWidget*>(cbUtf8)})
        ol->addWidget(w);
    ol->addStretch(1);
    pcOptions->addTab(options, TrQ("Options"));
    auto* more = new QWidget(pcOptions);
    cbUseHost = CheckBox(more, "cbUseHost", "Use HOST command");
    cbOpts = CheckBox(more, "cbOpts", "Send OPTS command for UTF-8");
    cbExtensions = CheckBox(more, "cbExtensions", "Force EPRT/EPSV for IPv6");
    auto* ml = new QVBoxLayout(more);
    for (QWidget* w : {static_cast<QWidget*>(cbUseHost), static_cast<QWidget*>(cbOpts),
                       static_cast<QWidget*>(cbExtensions)})
        ml->addWidget(w);
    ml->addStretch(1);
    pcOptions->addTab(more, TrQ("More options"));
    auto* zone = new QWidget(pcOptions);
    cbOffset = CheckBox(zone, "cbOffset", "Add offset to timestamps");
    edOffset = RangeEdit(zone, "edOffset", -12, 12, 0);
    udOffset = Named(new TNumUpDown(zone), "udOffset");
    udOffset->SetAssociate(edOffset);
    lbOffset = Named(new QLabel(TrQ("hour(s)"), zone), "lbOffset");
    auto* zl = new QVBoxLayout(zone);
    zl->addWidget(cbOffset);
    auto* offsetRow = new QHBoxLayout;
    offsetRow->setSpacing(0);
    offsetRow->addWidget(edOffset);
    offsetRow->addWidget(udOffset);
    offsetRow->addSpacing(6);
    offsetRow->addWidget(lbOffset);
    offsetRow->addStretch(1);
    zl->addLayout(offsetRow);
    zl->addStretch(1);
    pcOptions->addTab(zone, TrQ("Time zone"));

    btnAdvanced = Named(new QPushButton(TrQ("Advanced settings"), page), "btnAdvanced");
    btnAdvanced->setAutoDefault(false);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(grid);
    layout->addWidget(secure);
    layout->addWidget(pcOptions);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnAdvanced);
    layout->addLayout(bottom);
    layout->addStretch(1);

    connect(edtPort, &QLineEdit::editingFinished, this, [this] { GuardSlot([this] { PortChanged(); }); });
    connect(cbSecure, &QComboBox::activated, this,
            [this](int i) { GuardSlot([this, i] { SecureChosen(i); }); });
    connect(bbPassword, &QPushButton::clicked, this, [this] { GuardSlot([this] { PasswordClick(); }); });
    connect(btnPhDir, &QPushButton::clicked, this, [this] { GuardSlot([this] { PlaceholderClick(); }); });
    connect(btnDir, &QPushButton::clicked, this, [this] { GuardSlot([this] { DirClick(); }); });
    connect(cbOffset, &QCheckBox::toggled, this, [this](bool on) {
        edOffset->setEnabled(on);
        udOffset->setEnabled(on);
        lbOffset->setEnabled(on);
    });
    connect(cbOffset, &QCheckBox::clicked, this,
            [this](bool on) { GuardSlot([this, on] { OffsetClick(on); }); });
    connect(btnAdvanced, &QPushButton::clicked, this, [this] { pcSettings->setCurrentIndex(1); });
    connect(btnSecurity, &QPushButton::clicked, this, [this] { pcSettings->setCurrentIndex(2); });
    return page;
}

QWidget* TFtpDialog::BuildAdvancedPage()
{
    auto* page = Named(new QWidget(this), "tsAdvanced");
    auto* names = Named(new QGroupBox(TrQ("Filenames"), page), "gbFilenames");
    lbChangeTo = new QLabel(TrQ("Change to"), names);
    lbChangeTo->setObjectName(QStringLiteral("lbChangeTo"));
    cbLower = CheckBox(names, "cbLower", "lower case");
    cbUpper = CheckBox(names, "cbUpper", "UPPER CASE");
    cbQuotes = CheckBox(names, "cbQuotes", "Allow filenames to be enclosed in quotes");
    edInvalid = Named(new QLineEdit(names), "edInvalid");
    auto* nl = new QGridLayout(names);
    auto* caseRow = new QHBoxLayout;
    caseRow->addWidget(lbChangeTo);
    caseRow->addWidget(cbLower);
    caseRow->addWidget(cbUpper);
    caseRow->addStretch(1);
    nl->addLayout(caseRow, 0, 0, 1, 2);
    nl->addWidget(cbQuotes, 1, 0, 1, 2);
    nl->addWidget(Label(names, "Use encoding for these characters:", edInvalid), 2, 0);
    nl->addWidget(edInvalid, 2, 1);

    auto* establish = Named(new QGroupBox(TrQ("Establishing the connection"), page), "gbEstablish");
    reConnTimeout = RangeEdit(establish, "reConnTimeout", 1, 600, 60);
    reConnect = RangeEdit(establish, "reConnect", 1, 10, 1);
    udConnect = Named(new TNumUpDown(establish), "udConnect");
    udConnect->SetAssociate(reConnect);
    auto* el = new QGridLayout(establish);
    el->addWidget(Label(establish, "Maximum waiting time to establish the connection:", reConnTimeout), 0, 0);
    el->addLayout(NumberRow(reConnTimeout, nullptr, new QLabel(TrQ("s"), establish)), 0, 1);
    el->addWidget(Label(establish, "Maximum number of attempts to connect to server:", reConnect), 1, 0);
    el->addLayout(NumberRow(reConnect, udConnect, nullptr), 1, 1);
    el->setColumnStretch(1, 1);

    auto* control = Named(new QGroupBox(TrQ("Controlling the connection"), page), "gbControl");
    reRespTimeout = RangeEdit(control, "reRespTimeout", 1, 600, 60);
    cbAlive = CheckBox(control, "cbAlive", "Send keep-alive command during data transfer");
    auto* cl = new QGridLayout(control);
    cl->addWidget(Label(control, "Maximum waiting time for server response:", reRespTimeout), 0, 0);
    cl->addLayout(NumberRow(reRespTimeout, nullptr, new QLabel(TrQ("s"), control)), 0, 1);
    cl->addWidget(cbAlive, 1, 0, 1, 2);
    cl->setColumnStretch(1, 1);

    cbProxy = CheckBox(page, "cbProxy", "Use Proxy-Server");
    edProxy = Named(new QLineEdit(page), "edProxy");
    edProxy->setReadOnly(true);
    btProxy = Named(new QPushButton(TrQ("Proxy settings"), page), "btProxy");
    btProxy->setAutoDefault(false);
    auto* proxyRow = new QHBoxLayout;
    proxyRow->addWidget(cbProxy);
    proxyRow->addWidget(edProxy, 1);
    proxyRow->addWidget(btProxy);

    btnGeneral = Named(new QPushButton(TrQ("General settings"), page), "btnGeneral");
    btnGeneral->setAutoDefault(false);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(names);
    layout->addWidget(establish);
    layout->addWidget(control);
    layout->addLayout(proxyRow);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnGeneral);
    layout->addLayout(bottom);
    layout->addStretch(1);

    connect(cbLower, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            cbUpper->setChecked(false);
    });
    connect(cbUpper, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            cbLower->setChecked(false);
    });
    connect(cbProxy, &QCheckBox::clicked, this, [this] { GuardSlot([this] { ProxyClick(true); }); });
    connect(btProxy, &QPushButton::clicked, this, [this] { GuardSlot([this] { ProxyClick(false); }); });
    connect(btnGeneral, &QPushButton::clicked, this, [this] { pcSettings->setCurrentIndex(0); });
    return page;
}

QWidget* TFtpDialog::BuildCertificatePage()
{
    auto* page = Named(new QWidget(this), "tsCertificate");
    auto* integrity = Named(new QGroupBox(TrQ("Server integrity"), page), "gbIntegrity");
    auto* shield = Named(new QLabel(integrity), "imgShield");
    shield->setPixmap(ShieldIcon(style()).pixmap(32, 32));
    cbCertVerify = CheckBox(integrity, "cbCertVerify", "Verify server certificate");
    rbConfirm = Named(new QRadioButton(TrQ("Interactively by user"), integrity), "rbConfirm");
    rbCompare = Named(new QRadioButton(TrQ("Automatic comparison of fingerprints"), integrity), "rbCompare");
    rbConfirm->setChecked(true);
    edFingerprint = Named(new QLineEdit(integrity), "edFingerprint");
    edFingerprint->setMinimumWidth(edFingerprint->fontMetrics().horizontalAdvance(QString(47, QChar('D'))));
    lbFingerprint = Label(integrity, "MD5 fingerprint", edFingerprint);
    btnGetFp = ToolButton(integrity, "btnGetFp", QStyle::SP_DialogOpenButton,
                          "Insert MD5 fingerprint of server certicate");
    auto* il = new QGridLayout(integrity);
    auto* head = new QHBoxLayout;
    head->addWidget(shield);
    head->addWidget(cbCertVerify, 1);
    il->addLayout(head, 0, 0, 1, 3);
    il->addWidget(rbConfirm, 1, 0, 1, 3);
    il->addWidget(rbCompare, 2, 0, 1, 3);
    il->addWidget(lbFingerprint, 3, 0, 1, 3);
    il->addWidget(edFingerprint, 4, 0, 1, 2);
    il->addWidget(btnGetFp, 4, 2);
    il->setColumnStretch(1, 1);

    btnGeneral1 = Named(new QPushButton(TrQ("General settings"), page), "btnGeneral1");
    btnGeneral1->setAutoDefault(false);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(integrity);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnGeneral1);
    layout->addLayout(bottom);
    layout->addStretch(1);

    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(cbCertVerify), static_cast<QAbstractButton*>(rbConfirm),
          static_cast<QAbstractButton*>(rbCompare)})
        connect(b, &QAbstractButton::toggled, this, [this] { UpdateCertControls(); });
    connect(btnGetFp, &QPushButton::clicked, this, [this] { GuardSlot([this] { PasteFingerprint(); }); });
    connect(btnGeneral1, &QPushButton::clicked, this, [this] { pcSettings->setCurrentIndex(0); });
    return page;
}

void TFtpDialog::Init(const std::string& AIniName)
{
    if (!FIniName.empty())
        return;
    FIniName = AIniName;
    std::string from = AIniName;
    if (!XlFileExists(AIniName) && !OldSettingsFile.empty() && XlFileExists(OldSettingsFile))
        from = OldSettingsFile;
    const std::pair<THistoryCombo*, const char*> lists[] = {
        {edServer, "FtpServer"}, {edUsername, "Usernames"}, {edDir, "FtpDirs"}};
    for (const auto& [combo, section] : lists) {
        combo->LoadFromIni(from, section);
        // The lists are written back to the settings file in use.
        combo->IniFileName = AIniName;
    }
}

void TFtpDialog::ShowPassword()
{
    edtFtpPwd->setText(QString(static_cast<qsizetype>(QStr(FtpPwd).toUcs4().size()), QChar(0x25CF)));
}

void TFtpDialog::PortChanged()
{
    if (edtPort->Value() == 0)
        edtPort->SetValue(DefaultPort);
}

void TFtpDialog::SecureChosen(int index)
{
    if (index != fSecureMode) {
        if (index == 0)
            edtPort->SetValue(DefaultPort);
        else if (index == 3)
            edtPort->SetValue(ImplicitTlsPort);
        fSecureMode = index;
    }
    btnSecurity->setEnabled(fSecureMode > 0);
}

void TFtpDialog::PasswordClick()
{
    std::string pwd = FtpPwd;
    if (SpecifyPasswordAnsiAt(GetBottomLeftPos(bbPassword), StdStr(windowTitle()), pwd)) {
        FtpPwd = pwd;
        ShowPassword();
    }
}

void TFtpDialog::PlaceholderClick()
{
    const std::string ph = SelectPlaceholder(GetBottomLeftPos(btnPhDir), ptTime, "");
    if (!ph.empty())
        edDir->setEditText(edDir->currentText() + QStr(ph));
}

void TFtpDialog::DirClick()
{
    const std::string host = StdStr(edServer->currentText().trimmed());
    const std::string user = StdStr(edUsername->currentText());
    if (host.empty() || StdStr(edUsername->currentText().trimmed()).empty()) {
        ErrorDialog(_("Please specify FTP server and username"));
        return;
    }
    if (!edtPort->CheckRange())
        return;
    PortChanged();
    TCertInfos certs;
    InitCertInfos(certs);
    std::string dir;
    if (ShowFtpDirDialog(host, user, StdStr(edDir->currentText()), FtpPwd, static_cast<int>(edtPort->Value()),
                         certs, fSecureMode, cbFtpLog->isChecked() ? LogFileName() : std::string(),
                         cbPassive->isChecked(), cbUtf8->isChecked(), cbUseIPv6->isChecked(), dir))
        edDir->setEditText(QStr(dir));
}

void TFtpDialog::OffsetClick(bool checked)
{
    if (checked)
        edOffset->SetValue(LocalOffsetHours());
}

void TFtpDialog::ShowProxy()
{
    const bool on = cbProxy->isChecked();
    edProxy->setText(on && !FProxyPar.Server.empty()
                         ? QStr(FProxyPar.Server) + QLatin1Char(':') + QString::number(FProxyPar.Port)
                         : QString());
    edProxy->setEnabled(on);
    btProxy->setEnabled(on);
}

void TFtpDialog::ProxyClick(bool fromCheckBox)
{
    if (!fromCheckBox || (isVisible() && cbProxy->isChecked())) {
        ShowFtpProxyDialog(FProxyPar, false);
        cbProxy->setChecked(FProxyPar.Mode != fpcmNone);
    }
    ShowProxy();
}

void TFtpDialog::UpdateCertControls()
{
    const bool on = cbCertVerify->isChecked();
    rbConfirm->setEnabled(on);
    rbCompare->setEnabled(on);
    const bool compare = on && rbCompare->isChecked();
    lbFingerprint->setEnabled(compare);
    edFingerprint->setEnabled(compare);
    btnGetFp->setEnabled(compare);
}

void TFtpDialog::PasteFingerprint()
{
    edFingerprint->clear();
    edFingerprint->paste();
}

void TFtpDialog::EditHistory()
{
    THistoryCombo* combo = FMenuCombo;
    if (!combo)
        return;
    TStringList list = combo->HistoryList();
    int index = combo->currentIndex();
    if (EditHistoryList(GetBottomLeftPos(combo), StdStr(windowTitle()), StdStr(combo->currentText()), list,
                        true, false, index))
        combo->AssignList(list);
}

void TFtpDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        GuardSlot([] { OpenHelpTopic("qv-task.html#ftp"); });
        return;
    }
    TDialogBase::keyPressEvent(event);
}

void TFtpDialog::showEvent(QShowEvent* event)
{
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    TDialogBase::showEvent(event);
}

bool TFtpDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Hints follow the program's tool-tip setting (F11 shows them anyway).
    if (event->type() == QEvent::ToolTip && !ProgSettings.ViewSettings.ShowToolTips)
        return true;
    return TDialogBase::eventFilter(watched, event);
}

bool TFtpDialog::Execute(TFtpParams& AFtpPar, bool Backup, int APage)
{
    FBackup = Backup;
    pcSettings->setCurrentIndex(APage >= 0 && APage <= 2 ? APage : 0);
    pcOptions->setCurrentIndex(0);
    btnGeneral->setEnabled(APage == 0);
    btnPhDir->setVisible(Backup);
    lbChangeTo->setVisible(Backup);
    cbLower->setVisible(Backup);
    cbUpper->setVisible(Backup);

    if (AFtpPar.Host.empty() && edServer->count() > 0)
        edServer->setCurrentIndex(0);
    else
        edServer->setEditText(QStr(AFtpPar.Host));
    edtPort->SetValue(AFtpPar.Port);
    PortChanged();
    if (AFtpPar.Username.empty() && edUsername->count() > 0)
        edUsername->setCurrentIndex(0);
    else
        edUsername->setEditText(QStr(AFtpPar.Username));
    FtpPwd = AFtpPar.Password;
    ShowPassword();
    edDir->setEditText(QStr(AFtpPar.Directory));
    fSecureMode = AFtpPar.SecureMode >= 0 && AFtpPar.SecureMode <= 3 ? AFtpPar.SecureMode : 0;
    cbSecure->setCurrentIndex(fSecureMode);
    btnSecurity->setEnabled(fSecureMode > 0);
    cbPassive->setChecked(AFtpPar.Passive);
    cbUtf8->setChecked(AFtpPar.ForceUtf8);
    cbUseIPv6->setChecked(AFtpPar.UseIPv6);
    cbOpts->setChecked(AFtpPar.UseOpts);
    cbExtensions->setChecked(AFtpPar.UseExts);
    cbUseHost->setChecked(AFtpPar.UseHost);
    cbFtpLog->setChecked(AFtpPar.WriteLog);
    cbOffset->setChecked(AFtpPar.UseTimeOffset);
    edOffset->SetValue(AFtpPar.TimeOffset / 60);
    for (QWidget* w :
         {static_cast<QWidget*>(edOffset), static_cast<QWidget*>(udOffset), static_cast<QWidget*>(lbOffset)})
        w->setEnabled(AFtpPar.UseTimeOffset);
    reConnTimeout->SetValue(AFtpPar.ConnTimeout / 1000);
    reRespTimeout->SetValue(AFtpPar.ResponseTimeOut / 1000);
    reConnect->SetValue(AFtpPar.ConnAttempts);
    cbAlive->setChecked(AFtpPar.KeepAlive > 0);
    cbUpper->setChecked(AFtpPar.CaseMode == tcUpper);
    cbLower->setChecked(AFtpPar.CaseMode == tcLower);
    edInvalid->setText(QStr(AFtpPar.InvalidChars));
    cbQuotes->setChecked(AFtpPar.Quotes);
    FProxyPar = AFtpPar.Proxy;
    cbProxy->setChecked(FProxyPar.Mode != fpcmNone);
    ShowProxy();
    cbCertVerify->setChecked(AFtpPar.CertVerify > 0);
    if (AFtpPar.CertVerify == 2)
        rbCompare->setChecked(true);
    else
        rbConfirm->setChecked(true);
    edFingerprint->setText(QStr(AFtpPar.Fingerprint));
    UpdateCertControls();

    adjustSize();
    PlaceFormAt(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;

    AFtpPar.Host = StdStr(edServer->currentText().trimmed());
    AFtpPar.Port = static_cast<int>(edtPort->Value());
    AFtpPar.Username = StdStr(edUsername->currentText());
    AFtpPar.Password = FtpPwd;
    AFtpPar.Directory = StdStr(edDir->currentText().replace(QLatin1Char('\\'), QLatin1Char('/')));
    AFtpPar.SecureMode = fSecureMode;
    AFtpPar.Passive = cbPassive->isChecked();
    AFtpPar.ForceUtf8 = cbUtf8->isChecked();
    AFtpPar.UseIPv6 = cbUseIPv6->isChecked();
    AFtpPar.UseOpts = cbOpts->isChecked();
    AFtpPar.UseExts = cbExtensions->isChecked();
    AFtpPar.UseHost = cbUseHost->isChecked();
    AFtpPar.WriteLog = cbFtpLog->isChecked();
    AFtpPar.UseTimeOffset = cbOffset->isChecked();
    AFtpPar.TimeOffset = static_cast<int>(std::clamp<int64_t>(edOffset->Value(), -12, 12)) * 60;
    AFtpPar.ConnTimeout = static_cast<int>(reConnTimeout->Value()) * 1000;
    AFtpPar.ConnAttempts = static_cast<int>(reConnect->Value());
    AFtpPar.ResponseTimeOut = static_cast<int>(reRespTimeout->Value()) * 1000;
    AFtpPar.KeepAlive = cbAlive->isChecked() ? 1 : 0;
    AFtpPar.CaseMode = !Backup                ? tcNone
                       : cbUpper->isChecked() ? tcUpper
                       : cbLower->isChecked() ? tcLower
                                              : tcNone;
    AFtpPar.InvalidChars = StdStr(edInvalid->text());
    AFtpPar.Quotes = cbQuotes->isChecked();
    AFtpPar.Proxy = FProxyPar;
    if (!cbProxy->isChecked())
        AFtpPar.Proxy.Mode = fpcmNone;
    AFtpPar.CertVerify = !cbCertVerify->isChecked() ? 0 : rbCompare->isChecked() ? 2 : 1;
    AFtpPar.Fingerprint = StdStr(edFingerprint->text());
    for (THistoryCombo* combo : {edServer, edUsername, edDir})
        if (!combo->currentText().isEmpty())
            combo->AddItem(StdStr(combo->currentText()));
    return true;
}

void TFtpDialog::accept()
{
    GuardSlot([this] {
        auto showAndFocus = [this](QWidget* w) {
            if (QWidget* page = PageOf(pcSettings, w))
                pcSettings->setCurrentWidget(page);
            w->setFocus();
        };
        if (edServer->currentText().trimmed().isEmpty()) {
            ErrorDialog(_("Please specify an FTP server!"));
            showAndFocus(edServer);
            return;
        }
        if (edUsername->currentText().trimmed().isEmpty()) {
            ErrorDialog(_("Please specify a user name!"));
            showAndFocus(edUsername);
            return;
        }
        for (TRangeEdit* e : {edtPort, edOffset, reConnTimeout, reConnect, reRespTimeout}) {
            if (e == edOffset && !cbOffset->isChecked())
                continue;
            if (!e->CheckRange()) {
                if (e == edOffset)
                    pcOptions->setCurrentIndex(2);
                showAndFocus(e);
                return;
            }
        }
        PortChanged();
        QDialog::accept();
    });
}

void TFtpDialog::reject()
{
    // Nothing entered is kept, so nothing is checked any more.
    for (TRangeEdit* e : {edtPort, edOffset, reConnTimeout, reConnect, reRespTimeout})
        e->SetRangeCheck(false);
    QDialog::reject();
}

bool ShowFtpDialog(TFtpParams& AFtpPar, bool Backup, int APage)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TFtpDialog>();
    dlg->Init(SettingsFile);
    return dlg->Execute(AFtpPar, Backup, APage);
}
