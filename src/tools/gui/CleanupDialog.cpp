#include "tools/gui/CleanupDialog.h"

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
#include "foundation/QvUtilsTexts.h"
#include "foundation/gui/SelectFromListDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/StringList.h"
#include "tools/gui/ToolDialogUtil.h"

std::function<bool(TFtpParams&)> TCleanUpDialog::EditFtp = [](TFtpParams& p) {
    return ShowFtpDialog(p, false, 0);
};
std::function<bool(std::string&)> TCleanUpDialog::EditTypeList = [](std::string& commaText) {
    TStringList list;
    list.SetCommaText(commaText);
    std::string chosen;
    const TSelectOptions options = SelectOption(soEdit) | SelectOption(soDelAll) | SelectOption(soNoConfirm);
    if (!SelectFromList(QPoint(-1, -1), _("Types to be deleted"), _("Type"), "", options, 0, tcNone, "", list,
                        chosen))
        return false;
    commaText = list.CommaText();
    return true;
};
std::function<std::string(const std::string&, const std::string&)> TCleanUpDialog::ChooseSaveFile =
    [](const std::string& title, const std::string& file) {
        return StdStr(QFileDialog::getSaveFileName(
            nullptr, QStr(title), QStr(file), TrQ("Cleanup tasks") + " (*.cuj);;" + TrQ("all") + " (*)"));
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

QGroupBox* Group(QWidget* parent, const char* name, const char* caption)
{
    auto* g = new QGroupBox(TrQ(caption), parent);
    g->setObjectName(name);
    return g;
}

} // namespace

TCleanUpDialog::TCleanUpDialog(QWidget* parent) : TTaskDialogBase("qv-clean.html", parent)
{
    setObjectName("CleanUpDialog");
    setWindowTitle(TrQ("Clean up backup directory"));
    Settings = DefaultCleanupSettings();
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;

    auto* gbSource = Group(this, "gbSource", "Clean up ");
    auto* src = new QVBoxLayout(gbSource);
    rbDir = NamedRadio(gbSource, "rbDir", "Local or network directory");
    rbFtp = NamedRadio(gbSource, "rbFtp", "FTP remote directory");
    src->addWidget(rbDir);
    src->addWidget(rbFtp);
    pcSource = new QStackedWidget(gbSource);
    auto* tsDir = new QWidget(pcSource);
    auto* dirRow = new QHBoxLayout(tsDir);
    dirRow->setContentsMargins(0, 0, 0, 0);
    cbDir = new QComboBox(tsDir);
    cbDir->setObjectName("cbDir");
    cbDir->setEditable(true);
    cbDir->setToolTip(TrQ("Directories"));
    btBackupDir = NamedButton(tsDir, "btBackupDir", "...", "Select backup directory");
    dirRow->addWidget(cbDir, 1);
    dirRow->addWidget(btBackupDir);
    auto* tsFtp = new QWidget(pcSource);
    auto* ftpRow = new QHBoxLayout(tsFtp);
    ftpRow->setContentsMargins(0, 0, 0, 0);
    edtFtp = ReadOnlyEdit(tsFtp, "edtFtp");
    btFtp = NamedButton(tsFtp, "btFtp", "...", "FTP connection");
    ftpRow->addWidget(edtFtp, 1);
    ftpRow->addWidget(btFtp);
    pcSource->addWidget(tsDir);
    pcSource->addWidget(tsFtp);
    src->addWidget(pcSource);
    top->addWidget(gbSource, 2);

    auto* gbObject = Group(this, "gbObject", "Delete");
    auto* obj = new QVBoxLayout(gbObject);
    rbFiles = NamedRadio(gbObject, "rbFiles", "Files");
    rbDirs = NamedRadio(gbObject, "rbDirs", "Root directories");
    rbBakFiles = NamedRadio(gbObject, "rbBakFiles", "Only security backups");
    obj->addWidget(rbFiles);
    obj->addWidget(rbDirs);
    obj->addWidget(rbBakFiles);
    top->addWidget(gbObject, 1);
    layout->addLayout(top);

    auto* middle = new QGridLayout;
    gbFilter = Group(this, "gbFilter", "File filter");
    auto* flt = new QHBoxLayout(gbFilter);
    FilterText = new QLabel(gbFilter);
    FilterText->setObjectName("FilterText");
    FilterBtn = NamedButton(gbFilter, "FilterBtn", "...", "Edit filename filter");
    flt->addWidget(FilterText, 1);
    flt->addWidget(FilterBtn);
    middle->addWidget(gbFilter, 0, 0);

    gbTypes = Group(this, "gbTypes", "Types selection");
    auto* typ = new QGridLayout(gbTypes);
    rbAllTypes = NamedRadio(gbTypes, "rbAllTypes", "All");
    cbIncludeTypes = NamedRadio(gbTypes, "cbIncludeTypes", "Only these");
    cbExcludeTypes = NamedRadio(gbTypes, "cbExcludeTypes", "All except");
    TypenEdit = new QLineEdit(gbTypes);
    TypenEdit->setObjectName("TypenEdit");
    TypenBtn = NamedButton(gbTypes, "TypenBtn", "...", "Edit types selection");
    UnPackCB = new QCheckBox(TrQ("Examine compressed single files"), gbTypes);
    UnPackCB->setObjectName("UnPackCB");
    cbHasCrypt = new QCheckBox(TrQ("Consider enc files"), gbTypes);
    cbHasCrypt->setObjectName("cbHasCrypt");
    typ->addWidget(rbAllTypes, 0, 0);
    typ->addWidget(cbIncludeTypes, 0, 1);
    typ->addWidget(cbExcludeTypes, 0, 2);
    typ->addWidget(TypenEdit, 1, 0, 1, 2);
    typ->addWidget(TypenBtn, 1, 2);
    typ->addWidget(UnPackCB, 2, 0, 1, 3);
    typ->addWidget(cbHasCrypt, 3, 0, 1, 3);
    middle->addWidget(gbTypes, 1, 0);

    gbSync = Group(this, "gbSync", "Synchronize");
    auto* syn = new QVBoxLayout(gbSync);
    rbNoSync = NamedRadio(gbSync, "rbNoSync", "Off");
    rbSyncOrigin = NamedRadio(gbSync, "rbSyncOrigin", "With source directory");
    rbSyncSelect = NamedRadio(gbSync, "rbSyncSelect", "With following directory:");
    syn->addWidget(rbNoSync);
    syn->addWidget(rbSyncOrigin);
    syn->addWidget(rbSyncSelect);
    pcSync = new QStackedWidget(gbSync);
    auto* tsNoSync = new QWidget(pcSync);
    auto* noSync = new QVBoxLayout(tsNoSync);
    noSync->setContentsMargins(0, 0, 0, 0);
    cbDelVol = new QCheckBox(TrQ("Delete only the oldest files to free at least this disk space:"), tsNoSync);
    cbDelVol->setObjectName("cbDelVol");
    edVolSize = new QLineEdit(tsNoSync);
    edVolSize->setObjectName("edVolSize");
    edVolSize->setMaximumWidth(160);
    noSync->addWidget(cbDelVol);
    noSync->addWidget(edVolSize);
    auto* tsOrigin = new QWidget(pcSync);
    auto* org = new QHBoxLayout(tsOrigin);
    org->setContentsMargins(0, 0, 0, 0);
    auto* note =
        new QLabel(TrQ("Only available if the backup destination was separated by drives"), tsOrigin);
    note->setWordWrap(true);
    bbtDriveId = NamedButton(tsOrigin, "bbtDriveId", "Settings", "Change drive identifier");
    org->addWidget(note, 1);
    org->addWidget(bbtDriveId);
    auto* tsSelection = new QWidget(pcSync);
    auto* sel = new QHBoxLayout(tsSelection);
    sel->setContentsMargins(0, 0, 0, 0);
    cbSyncDir = new QComboBox(tsSelection);
    cbSyncDir->setObjectName("cbSyncDir");
    cbSyncDir->setEditable(true);
    sel->addWidget(cbSyncDir, 1);
    sel->addWidget(NamedButton(tsSelection, "btSyncDir", "...", "Select directory for synchronization"));
    pcSync->addWidget(tsNoSync);
    pcSync->addWidget(tsOrigin);
    pcSync->addWidget(tsSelection);
    syn->addWidget(pcSync);
    middle->addWidget(gbSync, 0, 1);

    gbSecOptions = Group(this, "gbSecOptions", "Option for deleting security copies");
    auto* sec = new QGridLayout(gbSecOptions);
    cxSecOptions = new QCheckBox(TrQ("Delete security copies older than"), gbSecOptions);
    cxSecOptions->setObjectName("cxSecOptions");
    reSecCount = new QSpinBox(gbSecOptions);
    reSecCount->setObjectName("reSecCount");
    reSecCount->setRange(1, 999);
    rbSecWeeks = NamedRadio(gbSecOptions, "rbSecWeeks", "weeks");
    rbSecMonths = NamedRadio(gbSecOptions, "rbSecMonths", "months");
    rbSecYears = NamedRadio(gbSecOptions, "rbSecYears", "years");
    sec->addWidget(cxSecOptions, 0, 0, 1, 2);
    sec->addWidget(reSecCount, 1, 0);
    auto* units = new QVBoxLayout;
    units->addWidget(rbSecWeeks);
    units->addWidget(rbSecMonths);
    units->addWidget(rbSecYears);
    sec->addLayout(units, 1, 1);
    auto* secNote = new QLabel(
        TrQ("Only applicable on backups with security copies using the placeholder for the backup date"),
        gbSecOptions);
    secNote->setWordWrap(true);
    sec->addWidget(secNote, 2, 0, 1, 2);
    middle->addWidget(gbSecOptions, 0, 1);

    gbBakFiles = Group(this, "gbBakFiles", "Preserve security copies");
    auto* bak = new QGridLayout(gbBakFiles);
    bak->addWidget(new QLabel(TrQ("from backup:"), gbBakFiles), 0, 0);
    laBakSec = new QLabel(gbBakFiles);
    laBakSec->setObjectName("laBakSec");
    bak->addWidget(laBakSec, 0, 1);
    bak->addWidget(new QLabel(TrQ("from synchronization:"), gbBakFiles), 1, 0);
    lasyncSec = new QLabel(gbBakFiles);
    lasyncSec->setObjectName("lasyncSec");
    bak->addWidget(lasyncSec, 1, 1);
    middle->addWidget(gbBakFiles, 1, 1);

    gbTimeSlot = Group(this, "gbTimeSlot", "Age of files");
    auto* age = new QGridLayout(gbTimeSlot);
    rbAll = NamedRadio(gbTimeSlot, "rbAll", "All");
    rbOlder = NamedRadio(gbTimeSlot, "rbOlder", "All older than");
    rbBefore = NamedRadio(gbTimeSlot, "rbBefore", "All before");
    rbSince = NamedRadio(gbTimeSlot, "rbSince", "All since");
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
    age->addWidget(rbOlder, 1, 0);
    age->addWidget(rbBefore, 2, 0);
    age->addWidget(rbSince, 3, 0);
    age->addWidget(reCount, 1, 1);
    age->addWidget(cbTimeUnits, 1, 2);
    age->addWidget(dpDate, 2, 1, 1, 2);
    middle->addWidget(gbTimeSlot, 2, 0);

    gbOptions = Group(this, "gbOptions", "Options");
    auto* opt = new QVBoxLayout(gbOptions);
    cbEmptyDirs = new QCheckBox(TrQ("Retain empty directories"), gbOptions);
    cbEmptyDirs->setObjectName("cbEmptyDirs");
    cbEmptyRoot = new QCheckBox(TrQ("Retain empty root directories"), gbOptions);
    cbEmptyRoot->setObjectName("cbEmptyRoot");
    RecycleCB = new QCheckBox(TrQ("Use Recycle Bin"), gbOptions);
    RecycleCB->setObjectName("RecycleCB");
    cbMail = new QCheckBox(TrQ("Send mail"), gbOptions);
    cbMail->setObjectName("cbMail");
    btnLog = NamedButton(gbOptions, "btnLog", "Settings for log");
    for (QWidget* w : std::initializer_list<QWidget*>{cbEmptyDirs, cbEmptyRoot, RecycleCB, cbMail, btnLog})
        opt->addWidget(w);
    middle->addWidget(gbOptions, 2, 1);
    layout->addLayout(middle);

    auto* buttons = new QHBoxLayout;
    LoadBtn = NamedButton(this, "LoadBtn", "Load", "Load cleanup task");
    SaveBtn = NamedButton(this, "SaveBtn", "Save", "Save cleanup task");
    SaveAsBtn = NamedButton(this, "SaveAsBtn", "Save as", "Save cleanup task as new file");
    btnSchedTask = NamedButton(this, "btnSchedTask", "Scheduled tasks", "Start cleanup as scheduled task");
    StartBtn =
        NamedButton(this, "StartBtn", "", "Show all selected files or directories to confirm deleting");
    btnBack = NamedButton(this, "btnBack", "Close");
    for (QPushButton* b : {LoadBtn, SaveBtn, SaveAsBtn, btnSchedTask})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(StartBtn);
    buttons->addWidget(btnBack);
    layout->addLayout(buttons);
    btnSchedTask->setEnabled(false);

    auto changed = [this] {
        if (!FUpdating)
            SetEditStatus(esChanged);
    };
    connect(rbDir, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetFtpMode(false); }); });
    connect(rbFtp, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetFtpMode(true); }); });
    connect(btFtp, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (EditFtp(Settings.FtpPar)) {
                edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
                SetEditStatus(esChanged);
            }
        });
    });
    connect(rbFiles, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetSubject(csFiles); }); });
    connect(rbDirs, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetSubject(csRootDirs); }); });
    connect(rbBakFiles, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { SetSubject(csSecurityCopies); }); });
    connect(rbAllTypes, &QRadioButton::clicked, this, [this] { GuardSlot([this] { TypesClicked(0); }); });
    connect(cbIncludeTypes, &QRadioButton::clicked, this, [this] { GuardSlot([this] { TypesClicked(1); }); });
    connect(cbExcludeTypes, &QRadioButton::clicked, this, [this] { GuardSlot([this] { TypesClicked(2); }); });
    connect(TypenBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            std::string text = StdStr(TypenEdit->text());
            if (EditTypeList(text)) {
                TypenEdit->setText(QStr(text));
                SetEditStatus(esChanged);
            }
        });
    });
    for (QRadioButton* b : {rbNoSync, rbSyncOrigin, rbSyncSelect})
        connect(b, &QRadioButton::clicked, this, [this] {
            GuardSlot([this] {
                ShowSyncPage();
                SetEditStatus(esChanged);
            });
        });
    connect(cbEmptyDirs, &QCheckBox::clicked, this, [this] {
        GuardSlot([this] {
            if (cbEmptyDirs->isChecked())
                cbEmptyRoot->setChecked(true);
            cbEmptyRoot->setEnabled(!cbEmptyDirs->isChecked());
            SetEditStatus(esChanged);
        });
    });
    connect(rbAll, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetAgeMode(caAll, false); }); });
    connect(rbBefore, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { SetAgeMode(caBefore, false); }); });
    connect(rbSince, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { SetAgeMode(caSince, false); }); });
    connect(rbOlder, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { SetAgeMode(cbTimeUnits->currentIndex() + 1, false); }); });
    connect(cbTimeUnits, &QComboBox::currentIndexChanged, this, [this](int index) {
        GuardSlot([this, index] {
            if (!FUpdating)
                SetAgeMode(index + 1, false);
        });
    });
    connect(cxSecOptions, &QCheckBox::clicked, this,
            [this] { GuardSlot([this] { UpdateSubjectControls(); }); });
    connect(reCount, &QSpinBox::valueChanged, this, changed);
    connect(reSecCount, &QSpinBox::valueChanged, this, changed);
    connect(dpDate, &QDateEdit::dateChanged, this, changed);
    connect(cbDir, &QComboBox::editTextChanged, this, changed);
    connect(cbSyncDir, &QComboBox::editTextChanged, this, changed);
    connect(TypenEdit, &QLineEdit::textEdited, this, changed);
    connect(edVolSize, &QLineEdit::textEdited, this, changed);
    for (QCheckBox* c : {cbEmptyRoot, RecycleCB, UnPackCB, cbHasCrypt, cbDelVol})
        connect(c, &QCheckBox::clicked, this, changed);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { SaveClick(); }); });
    connect(SaveAsBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const std::string file = ChooseSaveFile(_("Save cleanup task"), CJobName);
            if (!file.empty())
                SaveTask(file);
        });
    });
    connect(StartBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { StartClick(); }); });
    connect(btnBack, &QPushButton::clicked, this, [this] { reject(); });
    ShowSettings();
    SetEditStatus(esSaved);
}

void TCleanUpDialog::ShowSyncPage()
{
    pcSync->setCurrentIndex(rbSyncOrigin->isChecked() ? 1 : rbSyncSelect->isChecked() ? 2 : 0);
}

void TCleanUpDialog::ShowSettings()
{
    FUpdating = true;
    cbDir->setEditText(QStr(Settings.Directory));
    edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
    rbAllTypes->setChecked(Settings.TypesMode == 0);
    cbIncludeTypes->setChecked(Settings.TypesMode == 1);
    cbExcludeTypes->setChecked(Settings.TypesMode == 2);
    TypenEdit->setText(QStr(Settings.TypeList));
    TypenEdit->setEnabled(Settings.TypesMode != 0);
    TypenBtn->setEnabled(Settings.TypesMode != 0);
    UnPackCB->setChecked(Settings.Compressed);
    cbHasCrypt->setChecked(Settings.IgnoreEnc);
    rbNoSync->setChecked(Settings.Sync == csyOff);
    rbSyncOrigin->setChecked(Settings.Sync == csyOrigin);
    rbSyncSelect->setChecked(Settings.Sync == csyFolder);
    cbSyncDir->setEditText(QStr(Settings.SyncDir));
    cbDelVol->setChecked(Settings.FreeSpace);
    edVolSize->setText(QStr(Settings.SpaceText));
    cxSecOptions->setChecked(Settings.SecAge.Enabled);
    reSecCount->setValue(Settings.SecAge.Count);
    rbSecWeeks->setChecked(Settings.SecAge.Unit == 0);
    rbSecMonths->setChecked(Settings.SecAge.Unit == 1);
    rbSecYears->setChecked(Settings.SecAge.Unit == 2);
    laBakSec->setText(QStr(SecText(Settings.BakSec)));
    lasyncSec->setText(QStr(SecText(Settings.SyncSec)));
    reCount->setValue(Settings.TimeCount);
    dpDate->setDate(ToQDate(Settings.Date));
    cbEmptyDirs->setChecked(!Settings.EmptyDirs);
    cbEmptyRoot->setChecked(!Settings.EmptyRoot || !Settings.EmptyDirs);
    cbEmptyRoot->setEnabled(Settings.EmptyDirs);
    RecycleCB->setChecked(Settings.UseRecycler);
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
    ShowSyncPage();
    SetFtpMode(Settings.CuFtp);
    SetSubject(Settings.Subject);
    SetAgeMode(Settings.AgeMode, true);
    FUpdating = false;
}

void TCleanUpDialog::Apply()
{
    Settings.Directory = StdStr(cbDir->currentText());
    Settings.TypesMode = cbIncludeTypes->isChecked() ? 1 : cbExcludeTypes->isChecked() ? 2 : 0;
    Settings.TypeList = StdStr(TypenEdit->text());
    Settings.Compressed = UnPackCB->isChecked();
    Settings.IgnoreEnc = cbHasCrypt->isChecked();
    Settings.Sync = rbSyncOrigin->isChecked() ? csyOrigin : rbSyncSelect->isChecked() ? csyFolder : csyOff;
    Settings.SyncDir = StdStr(cbSyncDir->currentText());
    Settings.FreeSpace = cbDelVol->isChecked();
    Settings.SpaceText = StdStr(edVolSize->text());
    Settings.SecAge.Enabled = cxSecOptions->isChecked();
    Settings.SecAge.Count = reSecCount->value();
    Settings.SecAge.Unit = rbSecYears->isChecked() ? 2 : rbSecMonths->isChecked() ? 1 : 0;
    Settings.TimeCount = reCount->value();
    Settings.Date = FromQDate(dpDate->date());
    Settings.EmptyDirs = !cbEmptyDirs->isChecked();
    Settings.EmptyRoot = !cbEmptyRoot->isChecked();
    Settings.UseRecycler = RecycleCB->isChecked();
    Settings.CuFtp = rbFtp->isChecked();
    if (!cbMail->isChecked())
        Settings.MailMode = mmNone;
}

void TCleanUpDialog::SetEditStatus(TEditStatus status)
{
    EditStatus = status;
    SaveBtn->setEnabled(status == esChanged);
}

bool TCleanUpDialog::SetFtpMode(bool ftp)
{
    if (ftp && isVisible() && !FUpdating && !EditFtp(Settings.FtpPar)) {
        rbDir->setChecked(true);
        rbFtp->setChecked(false);
        return false;
    }
    Settings.CuFtp = ftp;
    rbFtp->setChecked(ftp);
    rbDir->setChecked(!ftp);
    pcSource->setCurrentIndex(ftp ? 1 : 0);
    edtFtp->setText(QStr(GetFtpUrl(Settings.FtpPar)));
    RecycleCB->setVisible(!ftp);
    cbDelVol->setVisible(!ftp);
    edVolSize->setVisible(!ftp);
    UpdateSubjectControls();
    if (!FUpdating)
        SetEditStatus(esChanged);
    return true;
}

void TCleanUpDialog::SetSubject(int subject)
{
    Settings.Subject = subject;
    rbFiles->setChecked(subject == csFiles);
    rbDirs->setChecked(subject == csRootDirs);
    rbBakFiles->setChecked(subject == csSecurityCopies);
    UpdateSubjectControls();
    if (!FUpdating)
        SetEditStatus(esChanged);
}

void TCleanUpDialog::UpdateSubjectControls()
{
    const int subject = Settings.Subject;
    const bool dirs = subject == csRootDirs;
    const bool copies = subject == csSecurityCopies;
    gbTimeSlot->setTitle(dirs ? TrQ("Age of root directories") : TrQ("Age of files"));
    gbFilter->setTitle(dirs ? TrQ("Filter for directories") : TrQ("Filter for filenames"));
    StartBtn->setText(TrQ("Show and delete") + "\n" +
                      (dirs ? TrQ("selected directories") : TrQ("selected files")));
    gbTypes->setVisible(!dirs);
    gbSync->setVisible(subject == csFiles);
    gbSecOptions->setVisible(copies);
    gbBakFiles->setVisible(!dirs && (!Settings.CuFtp || copies));
    gbBakFiles->setTitle(copies ? TrQ("Delete security copies") : TrQ("Preserve security copies"));
    cbEmptyDirs->setVisible(!dirs);
    if (subject == csFiles)
        cxSecOptions->setChecked(false);
    const bool secAge = copies && cxSecOptions->isChecked();
    gbTimeSlot->setVisible(!secAge);
    if (secAge)
        SetAgeMode(caAll, true);
}

void TCleanUpDialog::SetAgeMode(int mode, bool noChange)
{
    Settings.AgeMode = mode;
    const bool period = mode >= caDays && mode <= caYears;
    const bool date = mode == caBefore || mode == caSince;
    const bool old = FUpdating;
    FUpdating = true;
    rbAll->setChecked(!period && !date);
    rbOlder->setChecked(period);
    rbBefore->setChecked(mode == caBefore);
    rbSince->setChecked(mode == caSince);
    if (period)
        cbTimeUnits->setCurrentIndex(mode - 1);
    FUpdating = old;
    reCount->setVisible(period);
    cbTimeUnits->setVisible(period);
    dpDate->setVisible(date);
    if (period)
        reCount->setToolTip(TrQ("Enter number of ") + cbTimeUnits->currentText());
    if (!noChange && !FUpdating)
        SetEditStatus(esChanged);
}

void TCleanUpDialog::TypesClicked(int mode)
{
    TypenEdit->setEnabled(mode != 0);
    TypenBtn->setEnabled(mode != 0);
    if (mode != 0 && isVisible() && !FUpdating && TypenEdit->text().isEmpty()) {
        std::string text;
        if (EditTypeList(text) && !text.empty()) {
            TypenEdit->setText(QStr(text));
        } else {
            rbAllTypes->setChecked(true);
            TypenEdit->setEnabled(false);
            TypenBtn->setEnabled(false);
        }
    }
    SetEditStatus(esChanged);
}

bool TCleanUpDialog::LoadTask(const std::string& fileName)
{
    Apply();
    if (!LoadedTask)
        FSaved = Settings;
    TCleanupSettings s = Settings;
    try {
        LoadCleanupTask(fileName, s);
    } catch (const std::exception& e) {
        ErrorDialog(e.what());
        return false;
    }
    Settings = s;
    CJobName = fileName;
    LoadedTask = true;
    ShowSettings();
    SetEditStatus(esSaved);
    return true;
}

bool TCleanUpDialog::SaveTask(const std::string& fileName)
{
    Apply();
    CJobName = fileName;
    bool ok = true;
    try {
        SaveCleanupTask(fileName, Settings);
    } catch (const std::exception&) {
        ErrorDialog(SafeFormat(_("Error saving task \"%s\"!"), {fileName}));
        ok = false;
    }
    SetEditStatus(esSaved);
    LoadedTask = true;
    return ok;
}

void TCleanUpDialog::SaveClick()
{
    if (CJobName.empty()) {
        const std::string file = ChooseSaveFile(_("Save cleanup task"), "");
        if (!file.empty())
            SaveTask(file);
    } else {
        SaveTask(CJobName);
    }
}

int TCleanUpDialog::AskSaveTask()
{
    if (EditStatus != esChanged)
        return 0;
    const std::string question = CJobName.empty() ? _("Save cleanup task") + "?"
                                                  : SafeFormat(_("Save changed task to \"%s\"?"), {CJobName});
    const TModalResult answer = ConfirmYesNoDialogAt(QPoint(-1, -1), question);
    if (answer == mrCancel)
        return 2;
    if (answer == mrYes) {
        SaveClick();
        return 0;
    }
    if (CJobName.empty())
        return 1;
    SetEditStatus(esSaved);
    return 0;
}

void TCleanUpDialog::done(int result)
{
    if (AskSaveTask() >= 2)
        return;
    if (LoadedTask) {
        Settings = FSaved;
        Settings.EmptyRoot = true;
        Settings.MailMode = mmNone;
        LoadedTask = false;
        CJobName.clear();
        ShowSettings();
    }
    SetEditStatus(esSaved);
    TTaskDialogBase::done(result);
}

void TCleanUpDialog::StartClick()
{
    Apply();
    if (EditStatus == esNew)
        SetEditStatus(esChanged);
    if (!Settings.CuFtp && Settings.Directory.empty()) {
        ErrorDialog(_("No directory specified!"));
        return;
    }
    if (StartRun)
        StartRun(*this);
}
