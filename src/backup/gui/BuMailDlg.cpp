#include "backup/gui/BuMailDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "backup/gui/MailTestDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/EditHistListDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "foundation/gui/WinUtils.h"

namespace {
constexpr int MaxAttachments = 10;
constexpr int MaxAddresses = 50;

QString PasswordMask(const std::string& pwd)
{
    return QString(QString::fromUtf8(pwd.data(), static_cast<qsizetype>(pwd.size())).toUcs4().size(),
                   QChar(0x25CF));
}

QPushButton* SmallButton(QWidget* parent, const char* name, const QString& caption, const char* hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(TrQ(hint));
    b->setAutoDefault(false);
    if (caption.size() <= 3)
        b->setFixedWidth(std::max(32, b->fontMetrics().horizontalAdvance(caption) + 16));
    return b;
}

Qt::CheckState StateOf(TRecipientState s)
{
    return s == rsAlways ? Qt::Checked : s == rsOnError ? Qt::PartiallyChecked : Qt::Unchecked;
}

TRecipientState RecipientStateOf(Qt::CheckState s)
{
    return s == Qt::Checked ? rsAlways : s == Qt::PartiallyChecked ? rsOnError : rsOff;
}

void FillAddressCombo(QComboBox* combo, const TStringList& list)
{
    const QString text = combo->currentText();
    combo->clear();
    for (int i = 0; i < list.Count(); ++i)
        combo->addItem(QStr(list[i]));
    combo->setEditText(text);
}
} // namespace

TMailDialog::TMailDialog(QWidget* parent) : TTaskDialogBase("qv-options.html#mail", parent)
{
    setObjectName(QStringLiteral("MailDialog"));
    setWindowTitle(TrQ("E-Mail configuration"));
    hl.SetMaxLen(MaxAddresses);
    lbTask = new QLabel(this);
    lbTask->setObjectName(QStringLiteral("lbTask"));
    QFont bold = lbTask->font();
    bold.setBold(true);
    lbTask->setFont(bold);

    // Server and account.
    auto* gbServer = new QGroupBox(TrQ("Mail server"), this);
    edServer = new THistoryCombo(gbServer);
    edServer->setObjectName(QStringLiteral("edServer"));
    edServer->setEditable(true);
    edServer->setMinimumWidth(240);
    edPort = NewRangeEdit(gbServer, "edPort", 0, 65535, 25);
    edUsername = new THistoryCombo(gbServer);
    edUsername->setObjectName(QStringLiteral("edUsername"));
    edUsername->setEditable(true);
    edtSmtpPwd = new QLineEdit(gbServer);
    edtSmtpPwd->setObjectName(QStringLiteral("edtSmtpPwd"));
    edtSmtpPwd->setReadOnly(true);
    edtSmtpPwd->setToolTip(TrQ("Click button to enter password"));
    bbPassword = SmallButton(gbServer, "bbPassword", QStringLiteral("..."), "Click button to enter password");
    auto* gbSecure = new QGroupBox(TrQ("Use secure data connection"), gbServer);
    cbSecure = new QComboBox(gbSecure);
    cbSecure->setObjectName(QStringLiteral("cbSecure"));
    for (const char* t : {"None", "If available (explicit)", "Require (explicit)", "Always (implicit)"})
        cbSecure->addItem(QStringLiteral(" ") + TrQ(t));
    auto* secure = new QHBoxLayout(gbSecure);
    secure->addWidget(cbSecure);
    auto* server = new QGridLayout(gbServer);
    auto* serverLabel = new QLabel(TrQ("SMTP server:"), gbServer);
    serverLabel->setBuddy(edServer);
    auto* portLabel = new QLabel(TrQ("Port:"), gbServer);
    portLabel->setBuddy(edPort);
    auto* userLabel = new QLabel(TrQ("User name:"), gbServer);
    userLabel->setBuddy(edUsername);
    auto* pwdLabel = new QLabel(TrQ("Password:"), gbServer);
    pwdLabel->setBuddy(edtSmtpPwd);
    server->addWidget(serverLabel, 0, 0);
    server->addWidget(edServer, 0, 1);
    server->addWidget(portLabel, 0, 2);
    server->addWidget(edPort, 0, 3);
    server->addWidget(userLabel, 1, 0);
    server->addWidget(edUsername, 1, 1);
    server->addWidget(gbSecure, 1, 2, 2, 2);
    auto* pwdRow = new QHBoxLayout;
    pwdRow->addWidget(edtSmtpPwd, 1);
    pwdRow->addWidget(bbPassword);
    server->addWidget(pwdLabel, 2, 0);
    server->addLayout(pwdRow, 2, 1);
    server->setColumnStretch(1, 1);

    // Sender and recipients.
    auto* gbAddresses = new QGroupBox(TrQ("Addresses"), this);
    edSender = new QComboBox(gbAddresses);
    edSender->setObjectName(QStringLiteral("edSender"));
    edSender->setEditable(true);
    edReply = new QComboBox(gbAddresses);
    edReply->setObjectName(QStringLiteral("edReply"));
    edReply->setEditable(true);
    lbRecipients = new QListWidget(gbAddresses);
    lbRecipients->setObjectName(QStringLiteral("lbRecipients"));
    lbRecipients->setFixedHeight(100);
    btnAddRec = SmallButton(gbAddresses, "btnAddRec", QStringLiteral("+"), "Add recipient");
    btnRemRec = SmallButton(gbAddresses, "btnRemRec", QStringLiteral("\u2212"), "Remove recipient");
    btnEditRec = SmallButton(gbAddresses, "btnEditRec", QStringLiteral("\u270E"), "Edit recipient");
    auto* addresses = new QGridLayout(gbAddresses);
    auto* senderLabel = new QLabel(TrQ("Sender:"), gbAddresses);
    senderLabel->setBuddy(edSender);
    auto* replyLabel = new QLabel(TrQ("Reply-to address:"), gbAddresses);
    replyLabel->setBuddy(edReply);
    auto* recLabel = new QLabel(TrQ("Recipients:"), gbAddresses);
    recLabel->setBuddy(lbRecipients);
    auto* note = new QLabel(
        TrQ("The recipients marked with a square will receive a mail only in case of errors"), gbAddresses);
    note->setWordWrap(true);
    addresses->addWidget(senderLabel, 0, 0);
    addresses->addWidget(edSender, 0, 1, 1, 2);
    addresses->addWidget(replyLabel, 1, 0);
    addresses->addWidget(edReply, 1, 1, 1, 2);
    addresses->addWidget(recLabel, 2, 0, Qt::AlignTop);
    addresses->addWidget(lbRecipients, 2, 1);
    auto* recButtons = new QVBoxLayout;
    recButtons->addWidget(btnAddRec);
    recButtons->addWidget(btnRemRec);
    recButtons->addWidget(btnEditRec);
    recButtons->addStretch(1);
    addresses->addLayout(recButtons, 2, 2);
    addresses->addWidget(note, 3, 1, 1, 2);
    addresses->setColumnStretch(1, 1);

    // Subject and attachments.
    auto* gbContent = new QGroupBox(TrQ("Content"), this);
    edSubject = new THistoryCombo(gbContent);
    edSubject->setObjectName(QStringLiteral("edSubject"));
    edSubject->setEditable(true);
    btnPhSubject = SmallButton(gbContent, "btnPhSubject", QStringLiteral("%"), "Insert placeholder");
    gbLog = new QGroupBox(TrQ("Attach log file"), gbContent);
    gbLog->setObjectName(QStringLiteral("gbLog"));
    rbLogAlways = new QRadioButton(TrQ("Always"), gbLog);
    rbLogAlways->setObjectName(QStringLiteral("rbLogAlways"));
    rbLogError = new QRadioButton(TrQ("Only on errors"), gbLog);
    rbLogError->setObjectName(QStringLiteral("rbLogError"));
    rbLogNever = new QRadioButton(TrQ("Never"), gbLog);
    rbLogNever->setObjectName(QStringLiteral("rbLogNever"));
    rbLogNever->setChecked(true);
    auto* logBox = new QVBoxLayout(gbLog);
    logBox->addWidget(rbLogAlways);
    logBox->addWidget(rbLogError);
    logBox->addWidget(rbLogNever);
    rgZip = new QGroupBox(TrQ("Pack as zip file"), gbContent);
    rgZip->setObjectName(QStringLiteral("rgZip"));
    rgZip->setToolTip(TrQ("Compress attached log file"));
    auto* zipBox = new QVBoxLayout(rgZip);
    auto* zipGroup = new QButtonGroup(this);
    const char* zipTexts[] = {"No", "Plain text", "Encrypted"};
    for (int i = 0; i < 3; ++i) {
        rbZip[i] = new QRadioButton(TrQ(zipTexts[i]), rgZip);
        rbZip[i]->setObjectName(QStringLiteral("rgZip%1").arg(i));
        zipGroup->addButton(rbZip[i], i);
        zipBox->addWidget(rbZip[i]);
    }
    rbZip[0]->setChecked(true);
    lbAttach = new QListWidget(gbContent);
    lbAttach->setObjectName(QStringLiteral("lbAttach"));
    lbAttach->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbAttach->setFixedHeight(84);
    btnAddAtt = SmallButton(gbContent, "btnAddAtt", QStringLiteral("+"), "Select files to be attached");
    btnRemAtt = SmallButton(gbContent, "btnRemAtt", QStringLiteral("\u2212"), "Remove attachments from list");
    btnEditAtt = SmallButton(gbContent, "btnEditAtt", QStringLiteral("\u270E"), "Edit selected attachment");
    auto* content = new QGridLayout(gbContent);
    auto* subjectLabel = new QLabel(TrQ("Subject:"), gbContent);
    subjectLabel->setBuddy(edSubject);
    auto* subjectRow = new QHBoxLayout;
    subjectRow->addWidget(edSubject, 1);
    subjectRow->addWidget(btnPhSubject);
    content->addWidget(subjectLabel, 0, 0);
    content->addLayout(subjectRow, 0, 1, 1, 3);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(gbLog);
    logRow->addWidget(rgZip);
    logRow->addStretch(1);
    content->addLayout(logRow, 1, 0, 1, 4);
    auto* attLabel = new QLabel(TrQ("Other attachments:"), gbContent);
    attLabel->setBuddy(lbAttach);
    content->addWidget(attLabel, 2, 0, 1, 4);
    content->addWidget(lbAttach, 3, 0, 1, 3);
    auto* attButtons = new QVBoxLayout;
    attButtons->addWidget(btnAddAtt);
    attButtons->addWidget(btnRemAtt);
    attButtons->addWidget(btnEditAtt);
    attButtons->addStretch(1);
    content->addLayout(attButtons, 3, 3);
    content->setColumnStretch(1, 1);

    // When to send.
    auto* gbSendMail = new QGroupBox(TrQ("Send mail after action"), this);
    gbSendMail->setObjectName(QStringLiteral("gbSendMail"));
    rbNever = new QRadioButton(TrQ("Never"), gbSendMail);
    rbNever->setObjectName(QStringLiteral("rbNever"));
    rbNever->setChecked(true);
    rbError = new QRadioButton(TrQ("Only on errors"), gbSendMail);
    rbError->setObjectName(QStringLiteral("rbError"));
    rbAlways = new QRadioButton(TrQ("As specified in list of recipients"), gbSendMail);
    rbAlways->setObjectName(QStringLiteral("rbAlways"));
    auto* send = new QHBoxLayout(gbSendMail);
    send->addWidget(rbNever);
    send->addWidget(rbError);
    send->addWidget(rbAlways);
    send->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbTask);
    layout->addWidget(gbServer);
    layout->addWidget(gbAddresses);
    layout->addWidget(gbContent);
    layout->addWidget(gbSendMail);
    auto* bottom = new QHBoxLayout;
    btnTest = SmallButton(this, "btnTest", TrQ("Test"), "Send mail to check settings");
    bottom->addWidget(btnTest);
    bottom->addStretch(1);
    layout->addLayout(bottom);
    AddOkCancel(this, bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(560);

    // The shared pop-up menu of the history and address combos.
    for (QComboBox* combo : {static_cast<QComboBox*>(edServer), static_cast<QComboBox*>(edUsername),
                             static_cast<QComboBox*>(edSubject), edSender, edReply}) {
        combo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(combo, &QComboBox::customContextMenuRequested, this, [this, combo](const QPoint& at) {
            GuardSlot([&] {
                QMenu pmHistList(this);
                QAction* edit = pmHistList.addAction(TrQ("Edit list ..."));
                pmHistList.addAction(TrQ("Cancel"));
                if (pmHistList.exec(combo->mapToGlobal(at)) == edit)
                    EditListClick(combo);
            });
        });
    }
    connect(bbPassword, &QPushButton::clicked, this, [this] { GuardSlot([this] { PasswordClick(); }); });
    connect(cbSecure, &QComboBox::activated, this,
            [this](int i) { GuardSlot([this, i] { SecureChosen(i); }); });
    connect(btnAddRec, &QPushButton::clicked, this, [this] { GuardSlot([this] { AddRecClick(); }); });
    connect(btnRemRec, &QPushButton::clicked, this, [this] { GuardSlot([this] { RemRecClick(); }); });
    connect(btnEditRec, &QPushButton::clicked, this, [this] { GuardSlot([this] { EditRecClick(); }); });
    connect(lbRecipients, &QListWidget::itemDoubleClicked, this,
            [this] { GuardSlot([this] { EditRecClick(); }); });
    connect(btnAddAtt, &QPushButton::clicked, this, [this] { GuardSlot([this] { AddAttClick(); }); });
    connect(btnRemAtt, &QPushButton::clicked, this, [this] { GuardSlot([this] { RemAttClick(); }); });
    connect(btnEditAtt, &QPushButton::clicked, this, [this] { GuardSlot([this] { EditAttClick(); }); });
    connect(btnPhSubject, &QPushButton::clicked, this, [this] { GuardSlot([this] { PhSubjectClick(); }); });
    for (QRadioButton* rb : {rbLogAlways, rbLogError, rbLogNever})
        connect(rb, &QRadioButton::toggled, this, [this] { GuardSlot([this] { LogChoiceChanged(); }); });
    connect(zipGroup, &QButtonGroup::idClicked, this,
            [this](int id) { GuardSlot([this, id] { ZipChosen(id); }); });
    connect(btnTest, &QPushButton::clicked, this, [this] { GuardSlot([this] { TestClick(); }); });
    LogChoiceChanged();
}

TMailDialog::~TMailDialog()
{
    if (FIniName.empty())
        return;
    GuardSlot([this] {
        TMemIniFile ini(FIniName);
        for (int i = 0; i < hl.Count(); ++i) {
            std::string address = hl[i];
            std::replace(address.begin(), address.end(), '"', '#');
            ini.WriteString("MailTo", "Address" + std::to_string(i), address);
        }
        ini.UpdateFile();
    });
}

void TMailDialog::Init(const std::string& AIniName)
{
    if (!FIniName.empty() || AIniName.empty())
        return;
    FIniName = AIniName;
    edServer->LoadFromIni(FIniName, "SmtpServer");
    edUsername->LoadFromIni(FIniName, "MailUser");
    edSubject->LoadFromIni(FIniName, "Subjects");
    const TMemIniFile ini(FIniName);
    hl.Clear();
    for (int i = 0; i < MaxAddresses; ++i) {
        std::string address = ini.ReadString("MailTo", "Address" + std::to_string(i), "");
        if (address.empty())
            continue;
        std::replace(address.begin(), address.end(), '#', '"');
        hl.Add(address);
    }
}

QListWidgetItem* TMailDialog::AddRecipientItem(const std::string& address, int state)
{
    auto* item = new QListWidgetItem(QStr(address), lbRecipients);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate);
    item->setCheckState(StateOf(static_cast<TRecipientState>(state)));
    return item;
}

TMailData TMailDialog::Collected() const
{
    TMailData d;
    d.SMTP = StdStr(edServer->currentText().trimmed());
    d.Port = static_cast<int32_t>(edPort->Value());
    d.Username = StdStr(edUsername->currentText().trimmed());
    d.Password = MailPwd;
    d.Sender = StdStr(edSender->currentText().trimmed());
    d.ReplyTo = StdStr(edReply->currentText().trimmed());
    std::vector<TMailRecipient> recipients;
    for (int i = 0; i < lbRecipients->count(); ++i)
        recipients.push_back(
            {StdStr(lbRecipients->item(i)->text()), RecipientStateOf(lbRecipients->item(i)->checkState())});
    d.Recipients = RecipientsText(recipients);
    d.SecureMode = fSecureMode;
    d.LogMode = rbLogError->isChecked() ? mmError : rbLogAlways->isChecked() ? mmAlways : mmNone;
    d.ZipMode = static_cast<TZipMode>(FZipChoice);
    d.CryptKey = d.ZipMode == zmEncrypt ? CryptPwd : std::string();
    d.Subject = StdStr(edSubject->currentText());
    TStringList attachments;
    for (int i = 0; i < lbAttach->count(); ++i)
        attachments.Add(StdStr(lbAttach->item(i)->text()));
    d.Attachments = attachments.CommaText();
    return d;
}

bool TMailDialog::CheckSettings()
{
    if (!edPort->CheckRange())
        return false;
    const TMailDataCheck check = CheckMailData(Collected());
    if (check == mcOk)
        return true;
    ErrorDialog(MailDataCheckText(check));
    switch (check) {
    case mcNoServer:
        edServer->setFocus();
        break;
    case mcNoUser:
        edUsername->setFocus();
        break;
    case mcNoRecipient:
        AddRecClick();
        break;
    default:
        edReply->setFocus();
    }
    return false;
}

void TMailDialog::accept()
{
    bool ok = false;
    GuardSlot([&] { ok = CheckSettings(); });
    if (ok)
        QDialog::accept();
}

void TMailDialog::PasswordClick()
{
    std::string pwd = MailPwd;
    if (SpecifyPasswordAnsiAt(GetBottomLeftPos(bbPassword), StdStr(windowTitle()), pwd)) {
        MailPwd = pwd;
        edtSmtpPwd->setText(PasswordMask(MailPwd));
    }
}

void TMailDialog::SecureChosen(int index)
{
    if (index < 0 || index == static_cast<int>(fSecureMode))
        return;
    edPort->SetValue(index == stImplicit ? 465 : 25);
    fSecureMode = static_cast<TSecTransfer>(index);
}

void TMailDialog::AddRecClick()
{
    std::string address;
    if (!InputTextHistory(GetMousePos(), _("New mail recipient"), _("Address:"), false, "", &hl, false,
                          address))
        return;
    address = StdStr(QStr(address).trimmed());
    if (address.empty())
        return;
    for (int i = 0; i < lbRecipients->count(); ++i)
        if (lbRecipients->item(i)->text().compare(QStr(address), Qt::CaseInsensitive) == 0)
            return;
    lbRecipients->setCurrentItem(AddRecipientItem(address, rsAlways));
}

void TMailDialog::RemRecClick()
{
    const int row = lbRecipients->currentRow();
    if (row < 0)
        return;
    const std::string address = StdStr(lbRecipients->item(row)->text());
    if (!ConfirmDialogAt(GetMousePos(), SafeFormat(_("Remove recipient:\r\n%s\r\nfrom list?"), {address})))
        return;
    delete lbRecipients->takeItem(row);
    if (lbRecipients->count() > 0)
        lbRecipients->setCurrentRow(std::min(row, lbRecipients->count() - 1));
}

void TMailDialog::EditRecClick()
{
    QListWidgetItem* item = lbRecipients->currentItem();
    if (!item)
        return;
    std::string address = StdStr(item->text());
    if (!InputTextHistory(GetMousePos(), _("Edit mail recipient"), _("Address:"), false, "", &hl, false,
                          address))
        return;
    address = StdStr(QStr(address).trimmed());
    if (!address.empty())
        item->setText(QStr(address));
}

bool TMailDialog::AttachmentLimitReached()
{
    if (lbAttach->count() < MaxAttachments)
        return false;
    ErrorDialogAt(GetMousePos(), SafeFormat(_("The maximum number of attachments is %u!"), {MaxAttachments}));
    return true;
}

void TMailDialog::AddAttClick()
{
    if (AttachmentLimitReached())
        return;
    QString start = QStr(ActiveTaskDir);
    if (QListWidgetItem* item = lbAttach->currentItem(); item && item->isSelected())
        start = QFileInfo(item->text().section(QLatin1Char('|'), 0, 0)).path();
    QFileDialog chooser(this, TrQ("Select files to be attached"), start);
    chooser.setObjectName(QStringLiteral("OpenDialog"));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setFileMode(QFileDialog::ExistingFiles);
    chooser.setNameFilter(TrQ("All files") + QStringLiteral(" (*)"));
    if (chooser.exec() != QDialog::Accepted)
        return;
    for (const QString& file : chooser.selectedFiles()) {
        if (AttachmentLimitReached())
            break;
        lbAttach->addItem(file);
    }
}

void TMailDialog::RemAttClick()
{
    if (lbAttach->selectedItems().isEmpty())
        return;
    if (!ConfirmDialogAt(GetMousePos(), _("Remove selected attachments?")))
        return;
    for (int i = lbAttach->count() - 1; i >= 0; --i)
        if (lbAttach->item(i)->isSelected())
            delete lbAttach->takeItem(i);
}

void TMailDialog::EditAttClick()
{
    const QList<QListWidgetItem*> selected = lbAttach->selectedItems();
    if (selected.isEmpty()) {
        if (AttachmentLimitReached())
            return;
        std::string path;
        if (InputText(GetMousePos(), _("Add attachment"), _("File path:"), false, path) && !path.empty())
            lbAttach->addItem(QStr(path));
        return;
    }
    QListWidgetItem* item = selected.first();
    std::string path = StdStr(item->text());
    if (InputText(GetMousePos(), _("Edit attachment"), _("File path:"), false, path) && !path.empty())
        item->setText(QStr(path));
}

void TMailDialog::PhSubjectClick()
{
    const std::string ph = SelectPlaceholder(GetBottomRightPos(btnPhSubject), ptMail, Action);
    if (ph.empty() || !edSubject->lineEdit())
        return;
    edSubject->lineEdit()->insert(QStr(ph));
    edSubject->setFocus();
}

void TMailDialog::LogChoiceChanged()
{
    rgZip->setEnabled(!rbLogNever->isChecked());
}

void TMailDialog::ZipChosen(int choice)
{
    if (choice == zmEncrypt && isVisible() && !FFilling) {
        std::string pwd = CryptPwd;
        if (AskNewPasswordAnsiAt(GetTopRightPos(rgZip), _("File encryption"), pwd, true, false,
                                 ProgSettings.OtherSettings.MinPwdLength))
            CryptPwd = pwd;
        else if (CryptPwd.empty()) {
            // Without a password the log cannot be encrypted: keep the previous choice.
            rbZip[FZipChoice]->setChecked(true);
            return;
        }
    }
    FZipChoice = choice;
}

void TMailDialog::EditListClick(QComboBox* combo)
{
    const QPoint pos = GetBottomLeftPos(combo);
    const std::string hint = StdStr(StoredHint(combo));
    if (combo == edSender || combo == edReply) {
        TStringList list = hl;
        if (DeleteHistoryEntries(pos, _("Edit list ..."), hint, list)) {
            hl.AssignList(list);
            FillAddressCombo(edSender, hl);
            FillAddressCombo(edReply, hl);
        }
        return;
    }
    auto* history = static_cast<THistoryCombo*>(combo);
    TStringList list = history->HistoryList();
    if (DeleteHistoryEntries(pos, _("Edit list ..."), hint, list))
        history->AssignList(list);
}

void TMailDialog::TestClick()
{
    if (!CheckSettings() || !fMailer)
        return;
    TStatusWindow* status = StatusWindow();
    status->ShowStatus(GetBottomLeftPos(btnTest), _("Checking mail settings"), _("Sending mail"), false, 1);
    setEnabled(false);
    const TMailData settings = Collected();
    TMailTestInfo info;
    info.ProgramName = "Vastrel";
    info.VersionText = GetProgVersionText(3, "");
    info.ProgNameVersion = GetProgNameVersion(3);
    info.LogDir = GetLogDir();
    setEnabled(true);
    TMailTestResult result;
    try {
        result = SendTestMail(*fMailer, settings, info);
    } catch (...) {
        status->hide();
        throw;
    }
    status->hide();
    ShowMailTestDialog(result.Text, result.LogFile, result.Success ? mdtInformation : mdtError);
}

bool TMailDialog::Execute(TmMailer* AMailer, const std::string& ATask, TMailData& AMailDat, TMailMode& AMode)
{
    FFilling = true;
    lbTask->setText(QStr(ATask));
    fMailer = AMailer;
    Action = ATask.substr(0, ATask.find(':'));
    (AMode == mmAlways ? rbAlways : AMode == mmError ? rbError : rbNever)->setChecked(true);
    edServer->setEditText(QStr(AMailDat.SMTP));
    edPort->SetValue(AMailDat.Port);
    edUsername->setEditText(QStr(AMailDat.Username));
    MailPwd = AMailDat.Password;
    edtSmtpPwd->setText(PasswordMask(MailPwd));
    FillAddressCombo(edSender, hl);
    FillAddressCombo(edReply, hl);
    edSender->setEditText(QStr(AMailDat.Sender));
    edReply->setEditText(QStr(AMailDat.ReplyTo));
    lbRecipients->clear();
    for (const TMailRecipient& r : ParseRecipients(AMailDat.Recipients))
        AddRecipientItem(r.Address, r.State);
    fSecureMode = AMailDat.SecureMode;
    cbSecure->setCurrentIndex(static_cast<int>(fSecureMode));
    (AMailDat.LogMode == mmAlways  ? rbLogAlways
     : AMailDat.LogMode == mmError ? rbLogError
                                   : rbLogNever)
        ->setChecked(true);
    FZipChoice = std::clamp(static_cast<int>(AMailDat.ZipMode), 0, 2);
    rbZip[FZipChoice]->setChecked(true);
    CryptPwd = AMailDat.CryptKey;
    edSubject->setEditText(QStr(AMailDat.Subject));
    lbAttach->clear();
    TStringList attachments;
    attachments.SetCommaText(AMailDat.Attachments);
    for (int i = 0; i < attachments.Count(); ++i)
        if (!attachments[i].empty())
            lbAttach->addItem(QStr(attachments[i]));
    LogChoiceChanged();
    FFilling = false;
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;
    AMode = rbError->isChecked() ? mmError : rbAlways->isChecked() ? mmAlways : mmNone;
    AMailDat = Collected();
    if (!AMailDat.Sender.empty())
        hl.AddString(AMailDat.Sender);
    if (!AMailDat.ReplyTo.empty())
        hl.AddString(AMailDat.ReplyTo);
    edServer->AddItem(AMailDat.SMTP);
    edUsername->AddItem(AMailDat.Username);
    if (!AMailDat.Subject.empty())
        edSubject->AddItem(AMailDat.Subject);
    return true;
}

bool ShowMailDialog(TmMailer* AMailer, const std::string& ATask, TMailData& AMailDat, TMailMode& AMode)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TMailDialog>();
    dlg->Init(SettingsFile);
    return dlg->Execute(AMailer, ATask, AMailDat, AMode);
}
