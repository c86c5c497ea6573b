#include "tools/gui/VerifyDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "backup/BuFtpDlg.h"
#include "backup/gui/BuFtpDlg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "tools/gui/ToolDialogUtil.h"

std::function<bool(TFtpParams&)> TVerifyDialog::EditFtp = [](TFtpParams& p) {
    return ShowFtpDialog(p, false, 0);
};
std::function<std::string(const std::string&, const std::string&)> TVerifyDialog::ChooseSaveFile =
    [](const std::string& title, const std::string& file) {
        return StdStr(QFileDialog::getSaveFileName(nullptr, QStr(title), QStr(file),
                                                   TrQ("Verify tasks") + " (*.vfj);;" + TrQ("all") + " (*)"));
    };

namespace {

std::string SecText(const TSecSettings& sec)
{
    std::string text;
    if (sec.Selection & (1u << ssDirs))
        text = SafeFormat(_("Directories with prefix \"%s\""), {sec.DirPrefix});
    if (sec.Selection & (1u << ssFiles))
        text += (text.empty() ? "" : "\n") + SafeFormat(_("Files with suffix \"%s\""), {sec.FileSuffix});
    return text.empty() ? _("none") : text;
}

} // namespace

TVerifyDialog::TVerifyDialog(QWidget* parent) : TTaskDialogBase("qv-verify.html", parent)
{
    setObjectName("VerifyDialog");
    setWindowTitle(TrQ("Verify backed-up files"));
    Settings = DefaultVerifySettings();
    auto* layout = new QVBoxLayout(this);

    // backup location
    auto* gbSource = new QGroupBox(TrQ("Backup"), this);
    gbSource->setObjectName("gbSource");
    auto* src = new QGridLayout(gbSource);
    rbLocal = NamedRadio(gbSource, "rbLocal", "Local or network directory");
    rbFtp = NamedRadio(gbSource, "rbFtp", "FTP server directory");
    rbSingle = NamedRadio(gbSource, "rbSingle", "Separated files");
    rbFolderZip = NamedRadio(gbSource, "rbFolderZip", "Zip archives per directory");
    rbZip = NamedRadio(gbSource, "rbZip", "Single zip archive");
    auto* kindBox = new QWidget(gbSource);
    auto* kindLayout = new QVBoxLayout(kindBox);
    kindLayout->setContentsMargins(0, 0, 0, 0);
    kindLayout->addWidget(rbLocal);
    kindLayout->addWidget(rbFtp);
    auto* modeBox = new QWidget(gbSource);
    auto* modeLayout = new QVBoxLayout(modeBox);
    modeLayout->setContentsMargins(0, 0, 0, 0);
    modeLayout->addWidget(rbSingle);
    modeLayout->addWidget(rbFolderZip);
    modeLayout->addWidget(rbZip);
    src->addWidget(kindBox, 0, 0);
    src->addWidget(modeBox, 0, 1);
    pcSource = new QStackedWidget(gbSource);
    auto* tsDir = new QWidget(pcSource);
    tsDir->setObjectName("tsDir");
    auto* dirRow = new QHBoxLayout(tsDir);
    dirRow->setContentsMargins(0, 0, 0, 0);
    cbSource = new QComboBox(tsDir);
    cbSource->setObjectName("cbSource");
    cbSource->setEditable(true);
    btSource = NamedButton(tsDir, "btSource", "...", "Select backup directory");
    dirRow->addWidget(cbSource, 1);
    dirRow->addWidget(btSource);
    auto* tsFtp = new QWidget(pcSource);
    tsFtp->setObjectName("tsFtp");
    auto* ftpRow = new QHBoxLayout(tsFtp);
    ftpRow->setContentsMargins(0, 0, 0, 0);
    edtFtp = ReadOnlyEdit(tsFtp, "edtFtp");
    btFtp = NamedButton(tsFtp, "btFtp", "...", "FTP connection");
    ftpRow->addWidget(edtFtp, 1);
    ftpRow->addWidget(btFtp);
    pcSource->addWidget(tsDir);
    pcSource->addWidget(tsFtp);
    src->addWidget(pcSource, 1, 0, 1, 2);
    layout->addWidget(gbSource);

    // compare target
    gbCompare = new QGroupBox(TrQ("Compare to"), this);
    gbCompare->setObjectName("gbCompare");
    auto* cmp = new QGridLayout(gbCompare);
    rbtOrigin = NamedRadio(gbCompare, "rbtOrigin", "Source directory");
    rbtSelect = NamedRadio(gbCompare, "rbtSelect", "Selected directory");
    bbtDriveId = NamedButton(gbCompare, "bbtDriveId", "Settings", "Change drive identifier");
    cbDest = new QComboBox(gbCompare);
    cbDest->setObjectName("cbDest");
    cbDest->setEditable(true);
    cmp->addWidget(rbtOrigin, 0, 0);
    cmp->addWidget(bbtDriveId, 0, 1);
    cmp->addWidget(rbtSelect, 1, 0);
    cmp->addWidget(cbDest, 2, 0, 1, 2);
    UnpackCB = new QCheckBox(TrQ("Examine compressed single files"), gbCompare);
    UnpackCB->setObjectName("UnpackCB");
    cbDecrypt = new QCheckBox(TrQ("No decryption of *.enc files"), gbCompare);
    cbDecrypt->setObjectName("cbDecrypt");
    cmp->addWidget(UnpackCB, 3, 0, 1, 2);
    cmp->addWidget(cbDecrypt, 4, 0, 1, 2);
    layout->addWidget(gbCompare);

    auto* row = new QHBoxLayout;
    gbBakFiles = new QGroupBox(TrQ("Exclude security copies from verification"), this);
    gbBakFiles->setObjectName("gbBakFiles");
    auto* bak = new QGridLayout(gbBakFiles);
    bak->addWidget(new QLabel(TrQ("from backup:"), gbBakFiles), 0, 0);
    laBakSec = new QLabel(gbBakFiles);
    laBakSec->setObjectName("laBakSec");
    bak->addWidget(laBakSec, 0, 1);
    bak->addWidget(new QLabel(TrQ("from synchronization:"), gbBakFiles), 1, 0);
    laSyncSec = new QLabel(gbBakFiles);
    laSyncSec->setObjectName("laSyncSec");
    bak->addWidget(laSyncSec, 1, 1);
    row->addWidget(gbBakFiles, 1);

    gbTimeSlot = new QGroupBox(TrQ("Age of files"), this);
    gbTimeSlot->setObjectName("gbTimeSlot");
    auto* age = new QGridLayout(gbTimeSlot);
    rbAll = NamedRadio(gbTimeSlot, "rbAll", "All");
    rbBefore = NamedRadio(gbTimeSlot, "rbBefore", "All before");
    rbSince = NamedRadio(gbTimeSlot, "rbSince", "All since");
    rbOlder = NamedRadio(gbTimeSlot, "rbOlder", "All older than");
    rbNewer = NamedRadio(gbTimeSlot, "rbNewer", "All newer than");
    rbDate = NamedRadio(gbTimeSlot, "rbDate", "Only this date");
    reCount = new QSpinBox(gbTimeSlot);
    reCount->setObjectName("reCount");
    reCount->setRange(1, 999);
    cbTimeUnits = new QComboBox(gbTimeSlot);
    cbTimeUnits->setObjectName("cbTimeUnits");
    for (const char* u : {N_("days"), N_("weeks"), N_("months"), N_("years")})
        cbTimeUnits->addItem(TrQ(u));
    dpDate = new QDateEdit(gbTimeSlot);
    dpDate->setObjectName("dpDate");
    dpDate->setDisplayFormat("yyyy-MM-dd");
    dpDate->setCalendarPopup(true);
    age->addWidget(rbAll, 0, 0);
    age->addWidget(rbBefore, 1, 0);
    age->addWidget(rbSince, 2, 0);
    age->addWidget(rbDate, 3, 0);
    age->addWidget(rbOlder, 0, 1);
    age->addWidget(rbNewer, 1, 1);
    age->addWidget(reCount, 2, 1);
    age->addWidget(cbTimeUnits, 3, 1);
    age->addWidget(dpDate, 4, 0, 1, 2);
    row->addWidget(gbTimeSlot, 1);
    layout->addLayout(row);

    auto* options = new QHBoxLayout;
    FilterText = new QLabel(this);
    FilterText->setObjectName("FilterText");
    FilterBtn = NamedButton(this, "FilterBtn", "File filter");
    btnLog = NamedButton(this, "btnLog", "Settings for log");
    cbMail = new QCheckBox(TrQ("Send mail"), this);
    cbMail->setObjectName("cbMail");
    bbPassword = NamedButton(this, "bbPassword", "Password", "Fixed password for verifying encrypted files");
    options->addWidget(FilterBtn);
    options->addWidget(FilterText, 1);
    options->addWidget(btnLog);
    options->addWidget(cbMail);
    options->addWidget(bbPassword);
    layout->addLayout(options);

    auto* buttons = new QHBoxLayout;
    LoadBtn = NamedButton(this, "LoadBtn", "Load");
    SaveBtn = NamedButton(this, "SaveBtn", "Save");
    SaveAsBtn = NamedButton(this, "SaveAsBtn", "Save as");
    btnSchedTask = NamedButton(this, "btnSchedTask", "Scheduled tasks");
    bbtStart = NamedButton(this, "bbtStart", "Verify files", "Compare all selected files to source");
    bbtBack = NamedButton(this, "bbtBack", "Close");
    for (QPushButton* b : {LoadBtn, SaveBtn, SaveAsBtn, btnSchedTask})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(bbtStart);
    buttons->addWidget(bbtBack);
    layout->addLayout(buttons);
    btnSchedTask->setEnabled(false);

    auto changed = [this] {
        if (!FUpdating)
            SetEditStatus(esChanged);
    };
    for (QRadioButton* b : {rbSingle, rbFolderZip, rbZip})
        connect(b, &QRadioButton::clicked, this, [this, b] {
            GuardSlot([this, b] {
                SetVerifyMode(b == rbSingle ? vmSeparated : b == rbFolderZip ? vmFolderZips : vmSingleZip);
            });
        });
    connect(rbLocal, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetFtpMode(false); }); });
    connect(rbFtp, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetFtpMode(true); }); });
    connect(btFtp, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (EditFtp(Settings.FtpPar)) {
                edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
                SetEditStatus(esChanged);
            }
        });
    });
    const std::pair<QRadioButton*, int> ages[] = {{rbAll, 0}, {rbBefore, 1}, {rbSince, 2}, {rbDate, 11}};
    for (const auto& [b, m] : ages)
        connect(b, &QRadioButton::clicked, this,
                [this, m = m] { GuardSlot([this, m] { SetAgeMode(m, false); }); });
    connect(rbOlder, &QRadioButton::clicked, this, [this] { GuardSlot([this] { UnitChanged(); }); });
    connect(rbNewer, &QRadioButton::clicked, this, [this] { GuardSlot([this] { UnitChanged(); }); });
    connect(cbTimeUnits, &QComboBox::currentIndexChanged, this,
            [this] { GuardSlot([this] { UnitChanged(); }); });
    connect(reCount, &QSpinBox::valueChanged, this, changed);
    connect(dpDate, &QDateEdit::dateChanged, this, changed);
    connect(cbSource, &QComboBox::editTextChanged, this, changed);
    connect(cbDest, &QComboBox::editTextChanged, this, changed);
    connect(rbtOrigin, &QRadioButton::clicked, this, changed);
    connect(rbtSelect, &QRadioButton::clicked, this, changed);
    connect(UnpackCB, &QCheckBox::clicked, this, changed);
    connect(cbDecrypt, &QCheckBox::clicked, this, changed);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { SaveClick(); }); });
    connect(SaveAsBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const std::string file = ChooseSaveFile(_("Save verify task"), VJobName);
            if (!file.empty())
                SaveTask(file);
        });
    });
    connect(bbtStart, &QPushButton::clicked, this, [this] { GuardSlot([this] { StartClick(); }); });
    connect(bbtBack, &QPushButton::clicked, this, [this] { reject(); });
    ShowSettings();
    SetEditStatus(esSaved);
}

void TVerifyDialog::ShowSecTexts()
{
    laBakSec->setText(QStr(SecText(Settings.BakSec)));
    laSyncSec->setText(QStr(SecText(Settings.SyncSec)));
}

void TVerifyDialog::ShowSettings()
{
    FUpdating = true;
    cbSource->setEditText(QStr(Settings.Source));
    cbDest->setEditText(QStr(Settings.DestDir));
    rbtOrigin->setChecked(Settings.Origin);
    rbtSelect->setChecked(!Settings.Origin);
    UnpackCB->setChecked(Settings.UnCompress);
    cbDecrypt->setChecked(Settings.NoDecrypt);
    reCount->setValue(std::max(1, Settings.TimeCount));
    dpDate->setDate(ToQDate(Settings.Date));
    edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
    cbMail->setChecked(Settings.MailMode != mmNone);
    bbtDriveId->setToolTip(QStr(SafeFormat(_("Drive identifier = %s"), {Settings.DriveIdent})));
    TTextFilter filter(true, true);
    filter.SetRegular(Settings.FilterRegular);
    try {
        filter.SetFilter(Settings.FilterText);
    } catch (const EFilterError&) {
    }
    filter.SetMode(Settings.FilterMode);
    FilterText->setText(QStr(FilterDescription(filter)));
    ShowSecTexts();
    SetFtpMode(Settings.VfFtp);
    SetVerifyMode(Settings.VerifyMode);
    SetAgeMode(Settings.AgeMode, true);
    FUpdating = false;
}

void TVerifyDialog::Apply()
{
    Settings.Source = StdStr(cbSource->currentText());
    Settings.DestDir = StdStr(cbDest->currentText());
    Settings.Origin = rbtOrigin->isChecked();
    Settings.UnCompress = UnpackCB->isChecked();
    Settings.NoDecrypt = cbDecrypt->isChecked();
    Settings.TimeCount = reCount->value();
    Settings.Date = FromQDate(dpDate->date());
    Settings.VfFtp = rbFtp->isChecked();
    if (!cbMail->isChecked())
        Settings.MailMode = mmNone;
}

void TVerifyDialog::SetEditStatus(TEditStatus status)
{
    EditStatus = status;
    SaveBtn->setEnabled(status == esChanged);
}

void TVerifyDialog::SetVerifyMode(int mode)
{
    Settings.VerifyMode = mode;
    rbSingle->setChecked(mode == vmSeparated);
    rbFolderZip->setChecked(mode == vmFolderZips);
    rbZip->setChecked(mode == vmSingleZip);
    const bool zipModes = mode != vmSeparated;
    rbtOrigin->setVisible(mode != vmSingleZip);
    rbtSelect->setVisible(mode != vmSingleZip);
    bbtDriveId->setVisible(mode != vmSingleZip);
    UnpackCB->setVisible(!zipModes);
    cbDecrypt->setVisible(!zipModes);
    if (zipModes)
        cbDecrypt->setChecked(false);
    gbBakFiles->setVisible(!zipModes && !Settings.VfFtp);
    rbFtp->setEnabled(!zipModes);
    if (zipModes) {
        rbtSelect->setChecked(true);
    } else {
        // a source with a file name is cut to its folder
        const std::string source = StdStr(cbSource->currentText());
        if (utf8::SameText(ExtractExtension(source), "zip")) {
            const size_t p = source.rfind('/');
            cbSource->setEditText(QStr(p == std::string::npos ? std::string() : source.substr(0, p)));
        }
    }
    if (!FUpdating)
        SetEditStatus(esChanged);
}

void TVerifyDialog::SetFtpMode(bool ftp)
{
    if (ftp && isVisible() && !FUpdating && !EditFtp(Settings.FtpPar)) {
        rbLocal->setChecked(true);
        return;
    }
    Settings.VfFtp = ftp;
    rbFtp->setChecked(ftp);
    rbLocal->setChecked(!ftp);
    pcSource->setCurrentIndex(ftp ? 1 : 0);
    edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
    rbFolderZip->setEnabled(!ftp);
    rbZip->setEnabled(!ftp);
    gbBakFiles->setVisible(!ftp && Settings.VerifyMode == vmSeparated);
    if (!FUpdating)
        SetEditStatus(esChanged);
}

void TVerifyDialog::SetAgeMode(int mode, bool noChange)
{
    Settings.AgeMode = mode;
    const bool period = mode >= 3 && mode <= 10;
    const bool date = mode == 1 || mode == 2 || mode == 11;
    const bool old = FUpdating;
    FUpdating = true;
    rbAll->setChecked(mode == 0);
    rbBefore->setChecked(mode == 1);
    rbSince->setChecked(mode == 2);
    rbDate->setChecked(mode == 11);
    rbOlder->setChecked(period && mode % 2 == 1);
    rbNewer->setChecked(period && mode % 2 == 0);
    if (period)
        cbTimeUnits->setCurrentIndex((mode - 3) / 2);
    FUpdating = old;
    reCount->setVisible(period);
    cbTimeUnits->setVisible(period);
    dpDate->setVisible(date);
    if (period)
        reCount->setToolTip(TrQ("Enter number of ") + cbTimeUnits->currentText());
    if (!noChange && !FUpdating)
        SetEditStatus(esChanged);
}

void TVerifyDialog::UnitChanged()
{
    if (FUpdating)
        return;
    if (!rbOlder->isChecked() && !rbNewer->isChecked())
        rbNewer->setChecked(true);
    SetAgeMode(VerifyPeriodAgeMode(cbTimeUnits->currentIndex(), rbOlder->isChecked()), false);
}

bool TVerifyDialog::LoadTask(const std::string& fileName)
{
    Apply();
    if (!LoadedTask)
        FSaved = Settings;
    TVerifySettings s = Settings;
    try {
        LoadVerifyTask(fileName, s);
    } catch (const std::exception& e) {
        ErrorDialog(e.what());
        return false;
    }
    Settings = s;
    VJobName = fileName;
    LoadedTask = true;
    ShowSettings();
    SetEditStatus(esSaved);
    return true;
}

bool TVerifyDialog::SaveTask(const std::string& fileName)
{
    Apply();
    VJobName = fileName;
    bool ok = true;
    try {
        SaveVerifyTask(fileName, Settings);
    } catch (const std::exception&) {
        ErrorDialog(SafeFormat(_("Error saving task \"%s\"!"), {fileName}));
        ok = false;
    }
    SetEditStatus(esSaved);
    LoadedTask = true;
    return ok;
}

void TVerifyDialog::SaveClick()
{
    if (VJobName.empty()) {
        const std::string file = ChooseSaveFile(_("Save verify task"), "");
        if (!file.empty())
            SaveTask(file);
    } else {
        SaveTask(VJobName);
    }
}

int TVerifyDialog::AskSaveChanges()
{
    if (EditStatus != esChanged)
        return 0;
    const std::string question = VJobName.empty() ? _("Save verify task") + "?"
                                                  : SafeFormat(_("Save changed task to \"%s\"?"), {VJobName});
    const TModalResult answer = ConfirmYesNoDialogAt(QPoint(-1, -1), question);
    if (answer == mrCancel)
        return 2;
    if (answer == mrYes) {
        SaveClick();
        return 0;
    }
    if (VJobName.empty())
        return 1;
    SetEditStatus(esSaved);
    return 0;
}

void TVerifyDialog::done(int result)
{
    if (AskSaveChanges() >= 2)
        return;
    if (LoadedTask) {
        Settings = FSaved;
        LoadedTask = false;
        VJobName.clear();
        ShowSettings();
    }
    Settings.DefPwd.clear();
    SetEditStatus(esSaved);
    TTaskDialogBase::done(result);
}

void TVerifyDialog::StartClick()
{
    Apply();
    if (EditStatus == esNew)
        SetEditStatus(esChanged);
    if (!Settings.VfFtp && Settings.Source.empty()) {
        ErrorDialog(_("Please specify the directory to be verified!"));
        return;
    }
    if (!Settings.VfFtp && !Settings.Origin && Settings.DestDir.empty()) {
        ErrorDialog(_("Please specify the directory used for verification!"));
        return;
    }
    if (StartRun)
        StartRun(*this);
}

std::string TVerifyDialog::VerifyTask(const std::string& fileName)
{
    LoadTask(fileName);
    const std::string name = VJobName;
    exec();
    return name;
}
