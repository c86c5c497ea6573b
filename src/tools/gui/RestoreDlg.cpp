#include "tools/gui/RestoreDlg.h"

#include "tools/gui/RestBakDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "archive/ExtFileTools.h"
#include "backup/BuFtpDlg.h"
#include "backup/gui/TimeCompareDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/gui/FilterDlg.h"
#include "foundation/gui/InputString.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/DateTime.h"

namespace {

constexpr TSecSelections Bit(TSecSelection s)
{
    return static_cast<TSecSelections>(1u << s);
}

QDate ToQDate(TDateTime d)
{
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(d));
}

TDateTime FromQDate(const QDate& d)
{
    return static_cast<TDateTime>(QDate(1899, 12, 30).daysTo(d));
}

QRadioButton* Radio(QWidget* parent, const char* name, const char* text)
{
    auto* r = new QRadioButton(TrQ(text), parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

QCheckBox* Check(QWidget* parent, const char* name, const char* text, const char* hint = nullptr)
{
    auto* c = new QCheckBox(TrQ(text), parent);
    c->setObjectName(QString::fromLatin1(name));
    if (hint)
        c->setToolTip(TrQ(hint));
    return c;
}

QPushButton* Button(QWidget* parent, const char* name, const char* text, const char* hint = nullptr)
{
    auto* b = new QPushButton(TrQ(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    if (hint)
        b->setToolTip(TrQ(hint));
    return b;
}

} // namespace

TRestoreDialog::TRestoreDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("RestoreDialog"));
    setWindowTitle(TrQ("Restore files from backup"));
    auto* main = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    main->addLayout(columns);

    // --- source
    auto* gbxSource = new QGroupBox(TrQ("Restore from"), this);
    gbxSource->setObjectName(QStringLiteral("gbxSource"));
    auto* sl = new QVBoxLayout(gbxSource);
    auto* kind = new QHBoxLayout;
    rbLocal = Radio(gbxSource, "rbLocal", "Local or network directory");
    rbFtp = Radio(gbxSource, "rbFtp", "FTP server directory");
    kind->addWidget(rbLocal);
    kind->addWidget(rbFtp);
    sl->addLayout(kind);
    pcSource = new QStackedWidget(gbxSource);
    pcSource->setObjectName(QStringLiteral("pcSource"));
    auto* tsDir = new QWidget(pcSource);
    auto* dl = new QHBoxLayout(tsDir);
    dl->setContentsMargins(0, 0, 0, 0);
    cbSource = new QComboBox(tsDir);
    cbSource->setObjectName(QStringLiteral("cbSource"));
    cbSource->setEditable(true);
    btSource = Button(tsDir, "btSource", "...", "Select backup directory");
    dl->addWidget(cbSource, 1);
    dl->addWidget(btSource);
    auto* tsFtp = new QWidget(pcSource);
    auto* fl = new QHBoxLayout(tsFtp);
    fl->setContentsMargins(0, 0, 0, 0);
    edtFtp = new QLineEdit(tsFtp);
    edtFtp->setObjectName(QStringLiteral("edtFtp"));
    edtFtp->setReadOnly(true);
    btFtp = Button(tsFtp, "btFtp", "...", "FTP connection");
    fl->addWidget(edtFtp, 1);
    fl->addWidget(btFtp);
    pcSource->addWidget(tsDir);
    pcSource->addWidget(tsFtp);
    sl->addWidget(pcSource);
    pnMode = new QWidget(gbxSource);
    pnMode->setObjectName(QStringLiteral("pnMode"));
    auto* ml = new QHBoxLayout(pnMode);
    ml->setContentsMargins(0, 0, 0, 0);
    rbSingle = Radio(pnMode, "rbSingle", "Separated files");
    rbFolderZip = Radio(pnMode, "rbFolderZip", "Zip archives per directory");
    rbZip = Radio(pnMode, "rbZip", "Single zip archive");
    ml->addWidget(rbSingle);
    ml->addWidget(rbFolderZip);
    ml->addWidget(rbZip);
    auto* modeGroup = new QButtonGroup(this);
    modeGroup->addButton(rbSingle, rmSeparated);
    modeGroup->addButton(rbFolderZip, rmZipPerDir);
    modeGroup->addButton(rbZip, rmSingleZip);
    sl->addWidget(pnMode);
    left->addWidget(gbxSource);

    // --- destination
    auto* gbxDest = new QGroupBox(TrQ("Restore to"), this);
    gbxDest->setObjectName(QStringLiteral("gbxDest"));
    auto* tl = new QVBoxLayout(gbxDest);
    auto* where = new QHBoxLayout;
    rbtOrigin = Radio(gbxDest, "rbtOrigin", "Source directory");
    rbtSelect = Radio(gbxDest, "rbtSelect", "Selected directory");
    where->addWidget(rbtOrigin);
    where->addWidget(rbtSelect);
    tl->addLayout(where);
    pcDest = new QStackedWidget(gbxDest);
    pcDest->setObjectName(QStringLiteral("pcDest"));
    auto* tsOrigin = new QWidget(pcDest);
    auto* ol = new QHBoxLayout(tsOrigin);
    ol->setContentsMargins(0, 0, 0, 0);
    bbtDriveId = Button(tsOrigin, "bbtDriveId", "Drive identifier", "Change drive identifier");
    auto* note =
        new QLabel(TrQ("Only available if the backup destination was separated by drives"), tsOrigin);
    note->setWordWrap(true);
    ol->addWidget(bbtDriveId);
    ol->addWidget(note, 1);
    auto* tsSelection = new QWidget(pcDest);
    auto* xl = new QHBoxLayout(tsSelection);
    xl->setContentsMargins(0, 0, 0, 0);
    cbDest = new QComboBox(tsSelection);
    cbDest->setObjectName(QStringLiteral("cbDest"));
    cbDest->setEditable(true);
    btDest = Button(tsSelection, "btDest", "...", "Select destination directory");
    xl->addWidget(cbDest, 1);
    xl->addWidget(btDest);
    pcDest->addWidget(tsOrigin);
    pcDest->addWidget(tsSelection);
    tl->addWidget(pcDest);
    pnUncompress = new QWidget(gbxDest);
    auto* ul = new QHBoxLayout(pnUncompress);
    ul->setContentsMargins(0, 0, 0, 0);
    ul->addWidget(new QLabel(TrQ("Uncompress:"), pnUncompress));
    GzUnPackCB = Check(pnUncompress, "GzUnPackCB", "gz/gze");
    ZipUnpackCB = Check(pnUncompress, "ZipUnpackCB", "zip files");
    ul->addWidget(GzUnPackCB);
    ul->addWidget(ZipUnpackCB);
    ul->addStretch(1);
    tl->addWidget(pnUncompress);
    auto* boxes = new QGridLayout;
    cbDecrypt = Check(gbxDest, "cbDecrypt", "No decryption of *.enc files");
    cbEmptyDirs = Check(gbxDest, "cbEmptyDirs", "Restore empty directories");
    cbResArchive = Check(gbxDest, "cbResArchive", "Reset archive bit");
    cbSync = Check(gbxDest, "cbSync", "Synchronize");
    boxes->addWidget(cbDecrypt, 0, 0);
    boxes->addWidget(cbEmptyDirs, 0, 1);
    boxes->addWidget(cbResArchive, 1, 0);
    boxes->addWidget(cbSync, 1, 1);
    tl->addLayout(boxes);
    left->addWidget(gbxDest);

    auto* gbOptions = new QGroupBox(TrQ("Restore of"), this);
    gbOptions->setObjectName(QStringLiteral("gbOptions"));
    auto* og = new QGridLayout(gbOptions);
    cbCreationTime =
        Check(gbOptions, "cbCreationTime", "Creation time", "Restore last write and creation time of files");
    cbPerms = Check(gbOptions, "cbPerms", "File permissions");
    cbSummary = Check(gbOptions, "cbSummary", "Document summaries");
    cbJunctions = Check(gbOptions, "cbJunctions", "Junctions");
    cbAltStreams = Check(gbOptions, "cbAltStreams", "Alternate data streams");
    og->addWidget(cbCreationTime, 0, 0);
    og->addWidget(cbPerms, 0, 1);
    og->addWidget(cbSummary, 1, 0);
    og->addWidget(cbJunctions, 1, 1);
    og->addWidget(cbAltStreams, 2, 0);
    left->addWidget(gbOptions);
    left->addStretch(1);

    // --- age, overwrite, security copies, filter
    auto* gbTimeSlot = new QGroupBox(TrQ("Age of files"), this);
    gbTimeSlot->setObjectName(QStringLiteral("gbTimeSlot"));
    auto* ag = new QGridLayout(gbTimeSlot);
    rbAll = Radio(gbTimeSlot, "rbAll", "All");
    rbOlder = Radio(gbTimeSlot, "rbOlder", "All older than");
    rbNewer = Radio(gbTimeSlot, "rbNewer", "All newer than");
    rbBefore = Radio(gbTimeSlot, "rbBefore", "All before");
    rbSince = Radio(gbTimeSlot, "rbSince", "All since");
    rbDate = Radio(gbTimeSlot, "rbDate", "Only this date");
    ag->addWidget(rbAll, 0, 0);
    ag->addWidget(rbOlder, 0, 1);
    ag->addWidget(rbNewer, 0, 2);
    ag->addWidget(rbBefore, 1, 0);
    ag->addWidget(rbSince, 1, 1);
    ag->addWidget(rbDate, 1, 2);
    pcDate = new QStackedWidget(gbTimeSlot);
    pcDate->setObjectName(QStringLiteral("pcDate"));
    auto* tsPeriod = new QWidget(pcDate);
    auto* pl = new QHBoxLayout(tsPeriod);
    pl->setContentsMargins(0, 0, 0, 0);
    reCount = new QSpinBox(tsPeriod);
    reCount->setObjectName(QStringLiteral("reCount"));
    reCount->setRange(1, 999);
    cbTimeUnits = new QComboBox(tsPeriod);
    cbTimeUnits->setObjectName(QStringLiteral("cbTimeUnits"));
    for (const char* unit : {"days", "weeks", "months", "years"})
        cbTimeUnits->addItem(TrQ(unit));
    pl->addWidget(reCount);
    pl->addWidget(cbTimeUnits);
    pl->addStretch(1);
    auto* tsDate = new QWidget(pcDate);
    auto* dal = new QHBoxLayout(tsDate);
    dal->setContentsMargins(0, 0, 0, 0);
    dpDate = new QDateEdit(tsDate);
    dpDate->setObjectName(QStringLiteral("dpDate"));
    dpDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dpDate->setCalendarPopup(true);
    dpDate->setMaximumDate(QDate::currentDate().addDays(365));
    dal->addWidget(dpDate);
    dal->addStretch(1);
    pcDate->addWidget(tsPeriod);
    pcDate->addWidget(tsDate);
    ag->addWidget(pcDate, 2, 0, 1, 3);
    right->addWidget(gbTimeSlot);

    auto* gbOverwrite = new QGroupBox(TrQ("Overwrite"), this);
    gbOverwrite->setObjectName(QStringLiteral("OverwriteRG"));
    auto* wl = new QVBoxLayout(gbOverwrite);
    OverwriteRG = new QButtonGroup(this);
    const char* names[] = {"OverwriteRG0", "OverwriteRG1", "OverwriteRG2"};
    const char* texts[] = {"all existing files", "existing files when older", "no existing files"};
    for (int i = 0; i < 3; ++i) {
        auto* r = Radio(gbOverwrite, names[i], texts[i]);
        OverwriteRG->addButton(r, i);
        wl->addWidget(r);
    }
    btnTimeSettings = Button(gbOverwrite, "btnTimeSettings", "Time comparison", "Time-comparison settings");
    wl->addWidget(btnTimeSettings, 0, Qt::AlignLeft);
    right->addWidget(gbOverwrite);

    gbBakFiles = new QGroupBox(TrQ("Take security copies into account"), this);
    gbBakFiles->setObjectName(QStringLiteral("gbBakFiles"));
    gbBakFiles->setCheckable(true);
    auto* bl = new QGridLayout(gbBakFiles);
    bl->addWidget(new QLabel(TrQ("from backup:"), gbBakFiles), 0, 0);
    laBakFiles = new QLabel(gbBakFiles);
    laBakFiles->setObjectName(QStringLiteral("laBakFiles"));
    bl->addWidget(laBakFiles, 0, 1);
    bl->addWidget(new QLabel(TrQ("from synchronization:"), gbBakFiles), 1, 0);
    laSyncFiles = new QLabel(gbBakFiles);
    laSyncFiles->setObjectName(QStringLiteral("laSyncFiles"));
    bl->addWidget(laSyncFiles, 1, 1);
    btnBakCopies =
        Button(gbBakFiles, "btnBakCopies", "Settings", "Take security copies into account on restore");
    bl->addWidget(btnBakCopies, 0, 2, 2, 1, Qt::AlignTop);
    bl->setColumnStretch(1, 1);
    right->addWidget(gbBakFiles);

    auto* gbxFilter = new QGroupBox(TrQ("File filter"), this);
    gbxFilter->setObjectName(QStringLiteral("gbxFilter"));
    auto* ffl = new QHBoxLayout(gbxFilter);
    FilterText = new QLabel(gbxFilter);
    FilterText->setObjectName(QStringLiteral("FilterText"));
    FilterBtn = Button(gbxFilter, "FilterBtn", "Filter", "Filter for filenames");
    ffl->addWidget(FilterText, 1);
    ffl->addWidget(FilterBtn);
    right->addWidget(gbxFilter);
    right->addStretch(1);

    // --- buttons
    auto* buttons = new QHBoxLayout;
    LoadBtn = Button(this, "LoadBtn", "Load", "Load restore task");
    SaveBtn = Button(this, "SaveBtn", "Save", "Save restore task");
    SaveAsBtn = Button(this, "SaveAsBtn", "Save as", "Save restore task as new file");
    bbPassword = Button(this, "bbPassword", "Password", "Fixed password for restoring encrypted files");
    laLoadedNote = new QLabel(this);
    bbtStart = Button(this, "bbtStart", "Show selected files\r\nand start restore");
    bbtStart->setText(TrQ("Show selected files\r\nand start restore").replace(QStringLiteral("\r\n"), "\n"));
    bbtStart->setDefault(true);
    bbtBack = Button(this, "bbtBack", "Close");
    buttons->addWidget(LoadBtn);
    buttons->addWidget(SaveBtn);
    buttons->addWidget(SaveAsBtn);
    buttons->addWidget(bbPassword);
    buttons->addStretch(1);
    buttons->addWidget(bbtStart);
    buttons->addWidget(bbtBack);
    main->addLayout(buttons);

    // --- behaviour
    connect(bbtBack, &QPushButton::clicked, this, &QDialog::reject);
    connect(bbtStart, &QPushButton::clicked, this, [this] { GuardSlot([this] { StartClick(); }); });
    connect(rbFtp, &QRadioButton::clicked, this, [this] {
        GuardSlot([this] {
            SetFtpSource(true);
            cbResArchive->setChecked(true);
        });
    });
    connect(rbLocal, &QRadioButton::clicked, this, [this] {
        GuardSlot([this] {
            SetFtpSource(false);
            cbResArchive->setChecked(false);
        });
    });
    connect(modeGroup, &QButtonGroup::idClicked, this,
            [this](int id) { GuardSlot([this, id] { SetRestoreMode(id); }); });
    connect(rbtOrigin, &QRadioButton::toggled, this, [this](bool on) {
        pcDest->setCurrentIndex(on ? 0 : 1);
        Changed();
    });
    for (QRadioButton* r : {rbAll, rbOlder, rbNewer, rbBefore, rbSince, rbDate})
        connect(r, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetAgeMode(AgeMode()); }); });
    connect(cbTimeUnits, &QComboBox::activated, this, [this](int unit) {
        GuardSlot([this, unit] {
            const int current = AgeMode();
            const bool older = current % 2 == 1 && current != 11;
            SetAgeMode(2 * unit + 4 - (older ? 1 : 0));
        });
    });
    connect(OverwriteRG, &QButtonGroup::idClicked, this, [this](int id) {
        btnTimeSettings->setEnabled(id == owOlder);
        Changed();
    });
    connect(btnTimeSettings, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (ShowTimeCompareDialog(btnTimeSettings->mapToGlobal(QPoint(0, btnTimeSettings->height())),
                                      FTask.DeltaTime, FTask.DstIgnore))
                Changed();
        });
    });
    connect(btnBakCopies, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (ShowRestBakDialog(taRestore, _("Take security copies into account on restore"), FTask.BakSec,
                                  FTask.SyncSec, ""))
                ShowSecSettings();
        });
    });
    connect(gbBakFiles, &QGroupBox::toggled, this, [this] { ShowSecSettings(); });
    connect(btSource, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            std::string dir = StdStr(cbSource->currentText());
            if (FTask.RestMode != rmSeparated) {
                const QString file = QFileDialog::getOpenFileName(
                    this, TrQ("Select zip archive for restore"), QStr(EngineFsDir(dir)),
                    TrQ("Zip archives") + " (*.zip);;" + TrQ("all") + " (*)");
                cbSource->setCurrentText(file);
            } else if (SelectFolder(_("Select directory from which to restore files"), false, false, "",
                                    dir)) {
                cbSource->setCurrentText(QStr(dir));
            }
            Changed();
        });
    });
    connect(btDest, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            std::string dir = StdStr(cbDest->currentText());
            if (SelectFolder(_("Select directory to which to restore files"), false, false, "", dir))
                cbDest->setCurrentText(QStr(dir));
            Changed();
        });
    });
    connect(FilterBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            TTextFilter filter(true, true);
            ApplyTaskFilter(FTask, filter);
            TFilterDialog dlg(this);
            if (dlg.Execute(FilterBtn->mapToGlobal(QPoint(0, 0)), _("Filter for filenames"),
                            _("Restore files"), true, true, filter)) {
                FTask.FilterRegular = filter.Regular();
                FTask.FilterMode = filter.Mode();
                FTask.Filter = filter.GetFilter();
                FilterText->setText(QStr(FilterDescription(filter)));
                Changed();
            }
        });
    });
    connect(bbPassword, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            TNewPwdDialog dlg(this);
            std::string pwd = FTask.DefPwd;
            if (dlg.Execute(bbPassword->mapToGlobal(QPoint(0, 0)), _("Use fixed password"), pwd, true, false,
                            0)) {
                FTask.DefPwd = pwd;
                Changed();
            }
        });
    });
    connect(LoadBtn, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const QString file =
                QFileDialog::getOpenFileName(this, TrQ("Load restore task"), QString(),
                                             TrQ("Restore tasks") + " (*.rsj);;" + TrQ("all") + " (*)");
            if (!file.isEmpty())
                LoadTask(StdStr(file));
        });
    });
    auto saveAs = [this] {
        const QString file =
            QFileDialog::getSaveFileName(this, TrQ("Save restore task"), QStr(RJobName),
                                         TrQ("Restore tasks") + " (*.rsj);;" + TrQ("all") + " (*)");
        if (!file.isEmpty())
            SaveTask(BuildFileName("", StdStr(file), "rsj"));
    };
    connect(SaveAsBtn, &QPushButton::clicked, this, [saveAs] { GuardSlot(saveAs); });
    connect(SaveBtn, &QPushButton::clicked, this, [this, saveAs] {
        GuardSlot([this, saveAs] {
            if (RJobName.empty())
                saveAs();
            else
                SaveTask(RJobName);
        });
    });
    for (QCheckBox* c : {GzUnPackCB, ZipUnpackCB, cbDecrypt, cbEmptyDirs, cbResArchive, cbSync,
                         cbCreationTime, cbPerms, cbSummary, cbJunctions, cbAltStreams})
        connect(c, &QCheckBox::toggled, this, [this] { Changed(); });
    connect(cbSource, &QComboBox::editTextChanged, this, [this] { Changed(); });
    connect(cbDest, &QComboBox::editTextChanged, this, [this] { Changed(); });

    TRestoreTask task;
    InitRestoreTask(task);
    task.Origin = false;
    SetTask(task);
    EditStatus = esNew;
}

std::string TRestoreDialog::EngineFsDir(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void TRestoreDialog::Changed()
{
    if (FUpdating)
        return;
    EditStatus = esChanged;
    SaveBtn->setEnabled(true);
}

void TRestoreDialog::SetTask(const TRestoreTask& task)
{
    FUpdating = true;
    FTask = task;
    cbSource->setCurrentText(QStr(task.Source));
    cbDest->setCurrentText(QStr(task.DestDir));
    edtFtp->setText(task.FtpPar.Host.empty() ? QString() : QStr(GetFtpUrl(task.FtpPar)));
    (task.Origin ? rbtOrigin : rbtSelect)->setChecked(true);
    pcDest->setCurrentIndex(task.Origin ? 0 : 1);
    GzUnPackCB->setChecked(task.GzUnpack);
    ZipUnpackCB->setChecked(task.ZipUnpack);
    cbDecrypt->setChecked(task.NoDecrypt);
    cbEmptyDirs->setChecked(task.EmptyDirs);
    cbResArchive->setChecked(task.ResArchive);
    cbSync->setChecked(task.Sync);
    cbCreationTime->setChecked(task.CreationTime);
    cbPerms->setChecked(task.Perms);
    cbSummary->setChecked(task.Summary);
    cbJunctions->setChecked(task.Junctions);
    cbAltStreams->setChecked(task.AltStreams);
    reCount->setValue(std::max(task.TimeCount, 1));
    dpDate->setDate(ToQDate(task.Date));
    OverwriteRG->button(std::clamp(task.Overwrite, 0, 2))->setChecked(true);
    btnTimeSettings->setEnabled(task.Overwrite == owOlder);
    gbBakFiles->setChecked(task.SecEnabled);
    TTextFilter filter(true, true);
    ApplyTaskFilter(task, filter);
    FilterText->setText(QStr(FilterDescription(filter)));
    bbtDriveId->setToolTip(QStr(SafeFormat(_("Drive identifier = %s"), {task.DriveIdent})));
    (task.RsFtp ? rbFtp : rbLocal)->setChecked(true);
    SetFtpSource(task.RsFtp);
    SetRestoreMode(task.RestMode);
    SetAgeMode(task.AgeMode);
    ShowSecSettings();
    FUpdating = false;
}

void TRestoreDialog::GetTask(TRestoreTask& task) const
{
    task = FTask;
    task.Source = StdStr(cbSource->currentText());
    task.DestDir = StdStr(cbDest->currentText());
    task.Origin = rbtOrigin->isChecked() && FTask.RestMode != rmSingleZip;
    task.RsFtp = rbFtp->isChecked();
    task.GzUnpack = GzUnPackCB->isChecked();
    task.ZipUnpack = ZipUnpackCB->isChecked();
    task.NoDecrypt = cbDecrypt->isChecked();
    task.EmptyDirs = cbEmptyDirs->isChecked();
    task.ResArchive = cbResArchive->isChecked();
    task.Sync = cbSync->isChecked() && cbSync->isVisibleTo(this);
    task.CreationTime = cbCreationTime->isChecked();
    task.Perms = cbPerms->isChecked();
    task.Summary = cbSummary->isChecked();
    task.Junctions = cbJunctions->isChecked();
    task.AltStreams = cbAltStreams->isChecked();
    task.AgeMode = AgeMode();
    task.TimeCount = reCount->value();
    task.Date = FromQDate(dpDate->date());
    task.Overwrite = OverwriteRG->checkedId();
    task.SecEnabled = gbBakFiles->isChecked() && !task.RsFtp;
}

void TRestoreDialog::SetRestoreMode(int mode)
{
    FTask.RestMode = std::clamp(mode, 0, 2);
    (FTask.RestMode == rmSeparated   ? rbSingle
     : FTask.RestMode == rmZipPerDir ? rbFolderZip
                                     : rbZip)
        ->setChecked(true);
    rbtOrigin->setVisible(FTask.RestMode < rmSingleZip);
    rbtSelect->setVisible(FTask.RestMode < rmSingleZip);
    if (FTask.RestMode != rmSeparated) {
        rbtSelect->setChecked(true);
        pcDest->setCurrentIndex(1);
    } else {
        // a source of separated files is a folder
        const std::string source = StdStr(cbSource->currentText());
        if (IsZipFile(source))
            cbSource->setCurrentText(QStr(EngineFsDir(source)));
    }
    UpdateOptionControls();
    Changed();
}

int TRestoreDialog::AgeMode() const
{
    const int unit = cbTimeUnits->currentIndex();
    if (rbBefore->isChecked())
        return 1;
    if (rbSince->isChecked())
        return 2;
    if (rbOlder->isChecked())
        return 2 * unit + 3;
    if (rbNewer->isChecked())
        return 2 * unit + 4;
    if (rbDate->isChecked())
        return 11;
    return 0;
}

void TRestoreDialog::SetAgeMode(int mode)
{
    const bool was = FUpdating;
    FUpdating = true;
    if (mode == 0)
        rbAll->setChecked(true);
    else if (mode == 1)
        rbBefore->setChecked(true);
    else if (mode == 2)
        rbSince->setChecked(true);
    else if (mode == 11)
        rbDate->setChecked(true);
    else if (mode % 2 == 1)
        rbOlder->setChecked(true);
    else
        rbNewer->setChecked(true);
    pcDate->setVisible(mode != 0);
    if (mode == 1 || mode == 2 || mode == 11) {
        pcDate->setCurrentIndex(1);
    } else if (mode >= 3 && mode <= 10) {
        pcDate->setCurrentIndex(0);
        cbTimeUnits->setCurrentIndex((mode - 3) / 2);
        reCount->setToolTip(TrQ("Enter number of ") + cbTimeUnits->currentText());
    }
    FUpdating = was;
    Changed();
}

void TRestoreDialog::SetFtpSource(bool on)
{
    rbFolderZip->setEnabled(!on);
    rbZip->setEnabled(!on);
    if (on && FTask.RestMode != rmSeparated)
        SetRestoreMode(rmSeparated);
    pcSource->setCurrentIndex(on ? 1 : 0);
    FTask.RsFtp = on;
    UpdateOptionControls();
    Changed();
}

void TRestoreDialog::UpdateOptionControls()
{
    const bool separated = FTask.RestMode == rmSeparated;
    const bool local = separated && !FTask.RsFtp;
    pnUncompress->setVisible(separated);
    cbSync->setVisible(local);
    rbFtp->setEnabled(separated);
    cbDecrypt->setVisible(local);
    gbBakFiles->setVisible(local);
    auto enable = [](QCheckBox* box, bool on) {
        box->setEnabled(on);
        if (!on)
            box->setChecked(false);
    };
    enable(cbPerms, local);
    enable(cbAltStreams, local);
    enable(cbSummary, false); // document summaries do not exist on this system
    enable(cbCreationTime, local);
    enable(cbJunctions, separated);
}

void TRestoreDialog::ShowSecSettings()
{
    auto text = [](const TSecSettings& sec) {
        if (sec.Selection == 0)
            return _("Ignore");
        std::string s;
        if (sec.Selection & Bit(ssDirs))
            s = SafeFormat(_("%s with prefix \"%s\""), {_("Directories"), sec.DirPrefix});
        if (sec.Selection & Bit(ssFiles))
            s += (s.empty() ? "" : "\n") + SafeFormat(_("Files with suffix \"%s\""), {sec.FileSuffix});
        return s;
    };
    const bool on = gbBakFiles->isChecked();
    laBakFiles->setText(on ? QStr(text(FTask.BakSec)) : TrQ("Disabled"));
    laSyncFiles->setText(on ? QStr(text(FTask.SyncSec)) : TrQ("Disabled"));
    Changed();
}

bool TRestoreDialog::LoadTask(const std::string& fileName)
{
    TRestoreTask task = FTask;
    try {
        LoadRestoreTask(fileName, task, GetLogModeFor(2));
    } catch (const std::exception& e) {
        ErrorDialog(e.what());
        return false;
    }
    SetTask(task);
    RJobName = fileName;
    setWindowTitle(TrQ("Restore files from backup") + " [" + QStr(fileName) + "]");
    EditStatus = esSaved;
    SaveBtn->setEnabled(false);
    return true;
}

bool TRestoreDialog::SaveTask(const std::string& fileName)
{
    TRestoreTask task;
    GetTask(task);
    std::string error;
    if (!SaveRestoreTask(fileName, task, error)) {
        ErrorDialog(error);
        return false;
    }
    RJobName = fileName;
    EditStatus = esSaved;
    SaveBtn->setEnabled(false);
    return true;
}

void TRestoreDialog::StartClick()
{
    TRestoreTask task;
    GetTask(task);
    if (!task.RsFtp) {
        if (task.Source.empty()) {
            ErrorDialog(_("Please select the location from which to restore files!"));
            return;
        }
        if (!task.Origin && task.DestDir.empty()) {
            ErrorDialog(_("Please specify the directory you want to restore"));
            return;
        }
    }
    if (EditStatus == esNew)
        EditStatus = esChanged;
    if (StartHandler)
        StartHandler(task, RJobName);
}
