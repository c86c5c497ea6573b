#include "backup/gui/BackupForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <charconv>

#include "backup/PreviewScan.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/DesktopIconDlg.h"
#include "backup/gui/EditorDialogs.h"
#include "backup/gui/PreviewDlg.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinShell.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/FilterDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/QvUtilsForms.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "platform/FileStatus.h"
#include "platform/XdgDirs.h"
#include "rtl/DateTime.h"

namespace {
const char* const PerMilleSign = "\xE2\x80\xB0"; // "‰"
constexpr int MaxFilterLists = 100;

QString Tr(const char* text)
{
    return TrQ(text);
}

QDate ToQDate(TDateTime dt)
{
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(dt));
}

int ScreenDpiOf(const QWidget* w)
{
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? static_cast<int>(s->logicalDotsPerInch() + 0.5) : 96;
}
} // namespace

int32_t ReadPerMille(const std::string& text)
{
    const size_t sign = text.find(PerMilleSign);
    if (sign == std::string::npos)
        return 0;
    const std::string_view number = utf8::Trim(std::string_view(text).substr(0, sign));
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || ec != std::errc() || end != number.data() + number.size())
        return 0;
    return value;
}

std::string PerMilleText(int32_t value)
{
    return std::to_string(value) + PerMilleSign;
}

TBackupForm::TBackupForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("BackupForm"));
    FDialogs = std::make_unique<TEditorDialogs>(this);
    FEditor = std::make_unique<TTaskEditor>(Task, TaskList, *FDialogs);
    CreateControls();
    TranslateTexts();
    BindControls();
    FormCreate();
    qApp->installEventFilter(this);
}

TBackupForm::~TBackupForm()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

// ------------------------------------------------------------------------------------------------
// Controls

void TBackupForm::CreateControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("paMain"));
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);

    // Title bar of the task with the menu buttons.
    auto* top = new QHBoxLayout;
    laTask = new QLabel(central);
    laTask->setObjectName(QStringLiteral("laTask"));
    QFont bold = laTask->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    laTask->setFont(bold);
    top->addWidget(laTask, 1);
    LoadListBtn = new QToolButton(central);
    LoadListBtn->setObjectName(QStringLiteral("LoadListBtn"));
    sbMenu = new QToolButton(central);
    sbMenu->setObjectName(QStringLiteral("sbMenu"));
    top->addWidget(LoadListBtn);
    top->addWidget(sbMenu);
    layout->addLayout(top);

    pmMain = new QMenu(this);
    pmMain->setObjectName(QStringLiteral("pmMain"));
    itmTasks = pmMain->addMenu(QString());
    itmTasks->setObjectName(QStringLiteral("itmTasks"));
    pmMain->addSeparator();
    itmHelpBackup = pmMain->addAction(QString());
    itmHelpBackup->setObjectName(QStringLiteral("itmHelpBackup"));
    itmHelpOverview = pmMain->addAction(QString());
    itmHelpOverview->setObjectName(QStringLiteral("itmHelpOverview"));
    pmFiles = new QMenu(this);
    pmFiles->setObjectName(QStringLiteral("pmFiles"));
    pmHelper = new QMenu(this);
    pmHelper->setObjectName(QStringLiteral("pmHelper"));

    pcMain = new QTabWidget(central);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    layout->addWidget(pcMain, 1);

    // --- sources page
    tsDirectories = new QWidget;
    tsDirectories->setObjectName(QStringLiteral("tsDirectories"));
    pcMain->addTab(tsDirectories, QString());
    auto* dirLayout = new QVBoxLayout(tsDirectories);
    spMain = new QSplitter(Qt::Horizontal, tsDirectories);
    spMain->setObjectName(QStringLiteral("spMain"));
    spMain->setChildrenCollapsible(false);
    dirLayout->addWidget(spMain, 1);

    pcTools = new QTabWidget(spMain);
    pcTools->setObjectName(QStringLiteral("pcTools"));
    tsToolDirs = new QWidget;
    tsToolDirs->setObjectName(QStringLiteral("tsToolDirs"));
    auto* toolDirs = new QVBoxLayout(tsToolDirs);
    edFolder = new QLineEdit(tsToolDirs);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    btFolder = new QPushButton(tsToolDirs);
    btFolder->setObjectName(QStringLiteral("btFolder"));
    AddBtn = new QPushButton(tsToolDirs);
    AddBtn->setObjectName(QStringLiteral("AddBtn"));
    toolDirs->addWidget(edFolder);
    toolDirs->addWidget(btFolder);
    toolDirs->addWidget(AddBtn);
    toolDirs->addStretch(1);
    pcTools->addTab(tsToolDirs, QString());
    tsToolTypes = new QWidget;
    tsToolTypes->setObjectName(QStringLiteral("tsToolTypes"));
    auto* toolTypes = new QVBoxLayout(tsToolTypes);
    FilterListe = new QComboBox(tsToolTypes);
    FilterListe->setObjectName(QStringLiteral("FilterListe"));
    toolTypes->addWidget(FilterListe);
    toolTypes->addStretch(1);
    pcTools->addTab(tsToolTypes, QString());

    paRight = new QWidget(spMain);
    paRight->setObjectName(QStringLiteral("paRight"));
    auto* rightLayout = new QVBoxLayout(paRight);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    spRight = new QSplitter(Qt::Vertical, paRight);
    spRight->setObjectName(QStringLiteral("spRight"));
    spRight->setChildrenCollapsible(false);
    rightLayout->addWidget(spRight);
    SelectedDirBox = new QListWidget(spRight);
    SelectedDirBox->setObjectName(QStringLiteral("SelectedDirBox"));
    pnSelections = new QWidget(spRight);
    pnSelections->setObjectName(QStringLiteral("pnSelections"));
    auto* selLayout = new QVBoxLayout(pnSelections);
    selLayout->setContentsMargins(0, 0, 0, 0);
    pcSelection = new QTabWidget(pnSelections);
    pcSelection->setObjectName(QStringLiteral("pcSelection"));
    selLayout->addWidget(pcSelection);
    laTotals = new QLabel(pnSelections);
    laTotals->setObjectName(QStringLiteral("laTotals"));
    selLayout->addWidget(laTotals);

    tsSubDirs = new QWidget;
    tsSubDirs->setObjectName(QStringLiteral("tsSubDirs"));
    auto* subLayout = new QVBoxLayout(tsSubDirs);
    rbExcludeDirs = new QRadioButton(tsSubDirs);
    rbExcludeDirs->setObjectName(QStringLiteral("rbExcludeDirs"));
    rbIncludeDirs = new QRadioButton(tsSubDirs);
    rbIncludeDirs->setObjectName(QStringLiteral("rbIncludeDirs"));
    subLayout->addWidget(rbExcludeDirs);
    subLayout->addWidget(rbIncludeDirs);
    subLayout->addStretch(1);
    pcSelection->addTab(tsSubDirs, QString());
    tsFiles = new QWidget;
    tsFiles->setObjectName(QStringLiteral("tsFiles"));
    auto* filesLayout = new QGridLayout(tsFiles);
    FilterBtn = new QPushButton(tsFiles);
    FilterBtn->setObjectName(QStringLiteral("FilterBtn"));
    FromDate = new QDateEdit(tsFiles);
    FromDate->setObjectName(QStringLiteral("FromDate"));
    ToDate = new QDateEdit(tsFiles);
    ToDate->setObjectName(QStringLiteral("ToDate"));
    filesLayout->addWidget(FilterBtn, 0, 0);
    filesLayout->addWidget(FromDate, 1, 0);
    filesLayout->addWidget(ToDate, 1, 1);
    filesLayout->setRowStretch(2, 1);
    pcSelection->addTab(tsFiles, QString());
    tsTypes = new QWidget;
    tsTypes->setObjectName(QStringLiteral("tsTypes"));
    auto* typesLayout = new QVBoxLayout(tsTypes);
    IncludeRB = new QRadioButton(tsTypes);
    IncludeRB->setObjectName(QStringLiteral("IncludeRB"));
    ExcludeRB = new QRadioButton(tsTypes);
    ExcludeRB->setObjectName(QStringLiteral("ExcludeRB"));
    typesLayout->addWidget(IncludeRB);
    typesLayout->addWidget(ExcludeRB);
    typesLayout->addStretch(1);
    pcSelection->addTab(tsTypes, QString());
    spMain->setStretchFactor(0, 2);
    spMain->setStretchFactor(1, 3);

    // Destination below the sources.
    DestPanel = new QWidget(tsDirectories);
    DestPanel->setObjectName(QStringLiteral("DestPanel"));
    auto* destLayout = new QHBoxLayout(DestPanel);
    destLayout->setContentsMargins(0, 0, 0, 0);
    pcDest = new QTabWidget(DestPanel);
    pcDest->setObjectName(QStringLiteral("pcDest"));
    tsWin = new QWidget;
    tsWin->setObjectName(QStringLiteral("tsWin"));
    auto* winLayout = new QHBoxLayout(tsWin);
    BuZiel = new QComboBox(tsWin);
    BuZiel->setObjectName(QStringLiteral("BuZiel"));
    BuZiel->setEditable(true);
    BuZiel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    btnDir = new QPushButton(tsWin);
    btnDir->setObjectName(QStringLiteral("btnDir"));
    winLayout->addWidget(BuZiel, 1);
    winLayout->addWidget(btnDir);
    pcDest->addTab(tsWin, QString());
    tsFtp = new QWidget;
    tsFtp->setObjectName(QStringLiteral("tsFtp"));
    auto* ftpLayout = new QHBoxLayout(tsFtp);
    laFtpServer = new QLabel(tsFtp);
    laFtpServer->setObjectName(QStringLiteral("laFtpServer"));
    ftpLayout->addWidget(laFtpServer, 1);
    pcDest->addTab(tsFtp, QString());
    destLayout->addWidget(pcDest, 1);
    gbDestMode = new QGroupBox(DestPanel);
    gbDestMode->setObjectName(QStringLiteral("gbDestMode"));
    auto* modeLayout = new QVBoxLayout(gbDestMode);
    rbDrives = new QRadioButton(gbDestMode);
    rbDrives->setObjectName(QStringLiteral("rbDrives"));
    rbZipDir = new QRadioButton(gbDestMode);
    rbZipDir->setObjectName(QStringLiteral("rbZipDir"));
    paDriveId = new QLabel(gbDestMode);
    paDriveId->setObjectName(QStringLiteral("paDriveId"));
    paDriveId->setFocusPolicy(Qt::StrongFocus);
    paDriveId->setFrameShape(QFrame::StyledPanel);
    modeLayout->addWidget(rbDrives);
    modeLayout->addWidget(rbZipDir);
    modeLayout->addWidget(paDriveId);
    destLayout->addWidget(gbDestMode);
    dirLayout->addWidget(DestPanel);

    // --- task settings
    tsSettings = new QWidget;
    tsSettings->setObjectName(QStringLiteral("tsSettings"));
    pcMain->addTab(tsSettings, QString());
    auto* setLayout = new QVBoxLayout(tsSettings);
    gbMethod = new QGroupBox(tsSettings);
    gbMethod->setObjectName(QStringLiteral("gbMethod"));
    auto* methodLayout = new QVBoxLayout(gbMethod);
    BuModeCB = new QComboBox(gbMethod);
    BuModeCB->setObjectName(QStringLiteral("BuModeCB"));
    for (int i = 0; i < 4; ++i)
        BuModeCB->addItem(QString());
    methodLayout->addWidget(BuModeCB);
    pcMethod = new QStackedWidget(gbMethod);
    pcMethod->setObjectName(QStringLiteral("pcMethod"));
    auto* copyPage = new QWidget;
    copyPage->setObjectName(QStringLiteral("tsCopy"));
    auto* copyLayout = new QVBoxLayout(copyPage);
    auto addBox = [&](const char* name) {
        auto* box = new QCheckBox(copyPage);
        box->setObjectName(QString::fromLatin1(name));
        copyLayout->addWidget(box);
        return box;
    };
    cbCopySummary = addBox("cbCopySummary");
    cbAltStreams = addBox("cbAltStreams");
    cbCopyPerms = addBox("cbCopyPerms");
    cbNoAttributes = addBox("cbNoAttributes");
    cbCreationTime = addBox("cbCreationTime");
    copyLayout->addStretch(1);
    pcMethod->addWidget(copyPage);
    methodLayout->addWidget(pcMethod);
    setLayout->addWidget(gbMethod);
    setLayout->addStretch(1);

    // --- other options
    tsOptions = new QWidget;
    tsOptions->setObjectName(QStringLiteral("tsOptions"));
    pcMain->addTab(tsOptions, QString());
    auto* optLayout = new QVBoxLayout(tsOptions);
    gbSync = new QGroupBox(tsOptions);
    gbSync->setObjectName(QStringLiteral("gbSync"));
    gbSync->setCheckable(true);
    auto* syncLayout = new QVBoxLayout(gbSync);
    auto* syncNote = new QLabel(gbSync);
    syncNote->setObjectName(QStringLiteral("laSyncNote"));
    syncNote->setWordWrap(true);
    syncLayout->addWidget(syncNote);
    optLayout->addWidget(gbSync);
    optLayout->addStretch(1);

    paTaskLog = new QLabel(central);
    paTaskLog->setObjectName(QStringLiteral("paTaskLog"));
    CreateCommandControls(central, layout);

    // Buttons whose commands come with the editor's pages stay disabled until then.
    for (QWidget* w : {static_cast<QWidget*>(AddBtn), static_cast<QWidget*>(FilterBtn)})
        w->setEnabled(false);
    FromDate->setEnabled(false);
    ToDate->setEnabled(false);
    resize(ScaleToFormDpi(900, this), ScaleToFormDpi(640, this));
}

void TBackupForm::TranslateTexts()
{
    pcMain->setTabText(0, Tr("Directories to be backed up"));
    pcMain->setTabText(1, Tr("Task settings"));
    pcMain->setTabText(2, Tr("Other options"));
    pcTools->setTabText(0, Tr("Directories"));
    pcTools->setTabText(1, Tr("File types"));
    pcSelection->setTabText(0, Tr("Subdirectories"));
    pcSelection->setTabText(1, Tr("Files"));
    pcSelection->setTabText(2, Tr("Types"));
    pcDest->setTabText(0, Tr("Local or network"));
    pcDest->setTabText(1, Tr("FTP server"));
    LoadListBtn->setText(Tr("Recently-opened tasks"));
    LoadListBtn->setToolTip(Tr("Recently-opened tasks"));
    sbMenu->setText(Tr("Menu"));
    sbMenu->setToolTip(Tr("Open menu"));
    itmTasks->setTitle(Tr("Recently-opened tasks"));
    itmHelpBackup->setText(Tr("Data backups"));
    itmHelpOverview->setText(Tr("Overview"));
    edFolder->setPlaceholderText(Tr("Directory"));
    btFolder->setText(Tr("Select and add directory to task"));
    rbExcludeDirs->setText(Tr("All except tagged"));
    rbIncludeDirs->setText(Tr("Only tagged"));
    IncludeRB->setText(Tr("Only these"));
    ExcludeRB->setText(Tr("All except these"));
    btnDir->setText(Tr("Select backup destination directory"));
    btnDir->setToolTip(btnDir->text());
    BuZiel->setToolTip(Tr("Backup destination directory"));
    gbDestMode->setTitle(Tr("Directory structure"));
    gbDestMode->setToolTip(Tr("How the source directories are arranged at the destination"));
    rbDrives->setText(Tr("Separate directories for drives"));
    rbZipDir->setText(Tr("Separated by drive and subdirectory"));
    gbMethod->setTitle(Tr("Backup method"));
    const char* const modes[4] = {"Update", "Full (new)", "Differential", "Incremental"};
    for (int i = 0; i < 4; ++i)
        BuModeCB->setItemText(i, Tr(modes[i]));
    cbCopySummary->setText(Tr("Copy document summary"));
    cbAltStreams->setText(Tr("Copy alternate data streams"));
    cbCopyPerms->setText(Tr("Copy file permissions"));
    cbNoAttributes->setText(Tr("Do not copy file attributes"));
    cbCreationTime->setText(Tr("Copy creation time"));
    gbSync->setTitle(Tr("Synchronize backup directory"));
    TranslateCommandTexts();
    if (auto* note = findChild<QLabel*>(QStringLiteral("laSyncNote")))
        note->setText(Tr("Files and directories that no longer exist at the source are deleted in the "
                         "backup directory."));
}

void TBackupForm::BindControls()
{
    auto changed = [this] {
        if (!Task.UpdateBusy)
            SetEditStatus(esChanged);
    };
    auto bindBox = [&](QCheckBox* box, bool TTaskSettings::*field) {
        connect(box, &QCheckBox::toggled, this, [this, field, changed](bool on) {
            GuardSlot([&] {
                Task.*field = on;
                changed();
            });
        });
    };
    bindBox(cbCopySummary, &TTaskSettings::cbCopySummary);
    bindBox(cbAltStreams, &TTaskSettings::cbAltStreams);
    bindBox(cbCopyPerms, &TTaskSettings::cbCopyPerms);
    bindBox(cbNoAttributes, &TTaskSettings::cbNoAttributes);
    bindBox(cbCreationTime, &TTaskSettings::cbCreationTime);
    connect(gbSync, &QGroupBox::toggled, this, [this, changed](bool on) {
        GuardSlot([&] {
            Task.SyncMode = on ? std::max(1, Task.SyncMode) : 0;
            ShowTaskCaption();
            changed();
        });
    });
    connect(BuModeCB, &QComboBox::activated, this, [this, changed](int item) {
        GuardSlot([&] {
            ApplyBackupModeItem(Task, item);
            Task.BuModeCB = item;
            changed();
        });
    });
    connect(BuZiel, &QComboBox::editTextChanged, this, [this, changed](const QString& text) {
        GuardSlot([&] {
            Task.BuZiel = StdStr(text);
            changed();
        });
    });
    connect(SelectedDirBox, &QListWidget::itemChanged, this, [this, changed](QListWidgetItem* item) {
        GuardSlot([&] {
            const int row = SelectedDirBox->row(item);
            // the list is being filled from the model: its items are not the user's choice yet
            if (!Task.UpdateBusy && row >= 0 && row < Task.Folders.Count()) {
                Task.Folders[row].Selected = item->checkState() == Qt::Checked;
                changed();
            }
        });
    });
    auto bindLine = [&](QRadioButton* button, auto apply) {
        connect(button, &QRadioButton::toggled, this, [this, apply, changed](bool on) {
            GuardSlot([&] {
                const int line = CurrentLine();
                if (on && line >= 0 && !FShowingLine) {
                    apply(Task.Folders[line]);
                    changed();
                }
            });
        });
    };
    bindLine(rbExcludeDirs, [](TExtensionList& e) { e.IncludeDirs = false; });
    bindLine(rbIncludeDirs, [](TExtensionList& e) { e.IncludeDirs = true; });
    bindLine(IncludeRB, [](TExtensionList& e) { e.InclMode = buInclude; });
    bindLine(ExcludeRB, [](TExtensionList& e) { e.InclMode = buExclude; });
    connect(SelectedDirBox, &QListWidget::currentRowChanged, this, [this](int row) {
        GuardSlot([&] {
            ShowLineState();
            pcSelection->setTabVisible(pcSelection->indexOf(tsTypes), TypesTabVisible());
            if (row >= 0)
                ShowSourceSelection(row);
            ShowSelectionTotals();
        });
    });
    connect(itmHelpBackup, &QAction::triggered, this,
            [this] { GuardSlot([this] { itmHelpBackupClick(); }); });
    connect(itmHelpOverview, &QAction::triggered, this,
            [this] { GuardSlot([this] { itmHelpOverviewClick(); }); });
    connect(sbMenu, &QToolButton::clicked, this,
            [this] { GuardSlot([this] { pmMain->popup(GetBottomRightPos(sbMenu)); }); });
    connect(LoadListBtn, &QToolButton::clicked, this,
            [this] { GuardSlot([this] { pmFiles->popup(GetMousePos()); }); });
    BindCommands();
}

// ------------------------------------------------------------------------------------------------
// Creation and destruction

void TBackupForm::FormCreate()
{
    SetStaticTabStops(this, ScreenReaderActive);
    FromDate->setDisplayFormat(DatePickerFormat.empty() ? QStringLiteral("yyyy-MM-dd")
                                                        : QStr(DatePickerFormat));
    ToDate->setDisplayFormat(FromDate->displayFormat());
    BuModeCB->setCurrentIndex(0);
    pcDest->setCurrentWidget(tsWin);

    // Values of the editor before any task is loaded.
    const TDateTime today = Date();
    Task.NewPeriod.Mode = tmAll;
    Task.NewPeriod.TmRef = trModify;
    Task.NewPeriod.Days = 0;
    Task.NewPeriod.DayTime = 0.25;
    Task.NewPeriod.Dat1 = today - 1461;
    Task.NewPeriod.Dat2 = today;
    Task.CmdTmPeriod = TTimePeriod();
    Task.CmdTmPeriod.Mode = tmOff;
    Task.CmdTmPeriod.TmRef = trModify;
    FromDate->setDate(ToQDate(Task.NewPeriod.Dat1));
    ToDate->setDate(ToQDate(Task.NewPeriod.Dat2));
    Task.LoadedTaskName.clear();
    Task.TaskNote.clear();
    Task.ReplSourceDir.clear();
    Task.IncludeSubDirs = Task.WriteTsFile = Task.EncChg = Task.SkipDir = Task.DisplayOff = false;
    Task.NoVolCheck = Task.UseJunctions = Task.FollowJunctions = Task.NoWriteCache = false;
    Task.ErrorSummary = Task.ShowErrors = Task.ClearDest = Task.BuFtp = Task.UpdateBusy = false;
    Task.IgnoreJunctions = true;
    Task.LastCrypt = 0;
    Task.CmdEnc = 0;
    Task.MailMode = mmNone;
    Task.TaskBufferSize = 4194304;
    Task.CopyTimeout = 60;
    Task.TimeOutMax = 5;
    Task.BackupCount = 1;
    Task.FnMode = tcNone;
    Task.TargetType = fsNotAvail;
    InitBakSecSettings(Task.BakSec, ProgSettings);
    InitSyncSecSettings(Task.SyncSec, ProgSettings);
    Task.DriveId = GetDriveDirPrefix();
    Task.MaskExprs.Clear();
    Task.AktNoComp = TTaskSettings::MakeTypeList();
    TaskList.SetMaxLen(25);
    MinHeight = minimumSizeHint().height();
    MinWidth = minimumSizeHint().width();
    DefWidth = width();
    DefHeight = height();
    UForm = TFormProps();
    UForm.FormPos.xprim = UForm.FormPos.xmult = UForm.FormPos.yprim = UForm.FormPos.ymult = 50;
    UForm.UseDefault = true;
    Pcw = MulDiv(paRight->width(), 1000, std::max(1, width()));
    Psh = MulDiv(pnSelections->height(), 1000, std::max(1, pcMain->height()));

    Task.cbCopySummary = Task.cbAltStreams = Task.cbCopyPerms = Task.cbNoAttributes = false;
    Task.cbCreationTime = true;
    pcMethod->setCurrentIndex(0);
    QApplication::setStartDragDistance(5);
    TaskMenu = std::make_unique<THistoryMenu>(TaskList);
    TaskMenu->SetShowHotKeys(false);
    TaskMenu->SetMenu(pmFiles);
    TaskMenu->SetMenu2(itmTasks);
    BindTaskMenu();
    ShowTask();
    UpdateDriveIdTexts();
    UpdateLanguage();
}

void TBackupForm::FormDestroy()
{
    TaskMenu.reset();
    Task.Folders.Clear();
    FilterLists.clear();
    SelectedDirBox->clear();
}

// ------------------------------------------------------------------------------------------------
// Showing the task

void TBackupForm::ShowTask()
{
    const bool busy = Task.UpdateBusy;
    Task.UpdateBusy = true;
    cbCopySummary->setChecked(Task.cbCopySummary);
    cbAltStreams->setChecked(Task.cbAltStreams);
    cbCopyPerms->setChecked(Task.cbCopyPerms);
    cbNoAttributes->setChecked(Task.cbNoAttributes);
    cbCreationTime->setChecked(Task.cbCreationTime);
    gbSync->setChecked(Task.SyncMode != 0);
    BuZiel->setEditText(QStr(Task.BuZiel));
    SelectedDirBox->clear();
    for (const auto& entry : Task.Folders) {
        auto* item = new QListWidgetItem(QStr(entry->SPath), SelectedDirBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(entry->Selected ? Qt::Checked : Qt::Unchecked);
    }
    if (SelectedDirBox->count() > 0)
        SelectedDirBox->setCurrentRow(0);
    ShowLineState();
    pcDest->setCurrentWidget(Task.BuFtp ? tsFtp : tsWin);
    laFtpServer->setText(Task.BuFtp ? QStr(Task.FtpPar.Host) : QString());
    ShowBackupModeSelection();
    ShowTaskCaption();
    ShowSelectionTotals();
    UpdateTaskControls();
    Task.UpdateBusy = busy;
}

void TBackupForm::SetEditStatus(TEditStatus AStatus)
{
    Task.EditStatus = AStatus;
    SaveBtn->setEnabled(AStatus != esSaved);
    SaveTaskItem->setEnabled(SaveBtn->isEnabled());
}

void TBackupForm::ShowTaskCaption()
{
    laTask->setText(QStr(FEditor->CaptionText()));
    laTask->setToolTip(QStr(FEditor->HintText()));
}

void TBackupForm::ShowLineState()
{
    const int line = CurrentLine();
    FShowingLine = true;
    for (QRadioButton* b : {rbExcludeDirs, rbIncludeDirs, IncludeRB, ExcludeRB}) {
        b->setEnabled(line >= 0);
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
    if (line >= 0) {
        const TExtensionList& entry = Task.Folders[line];
        (entry.IncludeDirs ? rbIncludeDirs : rbExcludeDirs)->setChecked(true);
        (entry.InclMode == buInclude ? IncludeRB : ExcludeRB)->setChecked(true);
    }
    FShowingLine = false;
}

int TBackupForm::CurrentLine() const
{
    const int row = SelectedDirBox->currentRow();
    return row >= 0 && row < Task.Folders.Count() ? row : -1;
}

void TBackupForm::ShowSelectionTotals()
{
    const int line = CurrentLine();
    if (line < 0) {
        laTotals->clear();
        return;
    }
    const TExtensionList& entry = Task.Folders[line];
    const std::string included =
        FormatCountStr(_("No files"), _("1 file totaling %s"), _("%u files totaling %s"), entry.ICount,
                       FormatSize(false, entry.IBytes));
    const std::string excluded =
        FormatCountStr(_("No files"), _("1 file totaling %s"), _("%u files totaling %s"), entry.ECount,
                       FormatSize(false, entry.EBytes));
    laTotals->setText(QStr(_("Included") + ": " + included + "  -  " + _("Excluded") + ": " + excluded));
}

void TBackupForm::ShowBackupModeSelection()
{
    BuModeCB->setCurrentIndex(BackupModeIndex(Task));
}

void TBackupForm::UpdateTaskControls()
{
    paTaskLog->setText(QStr(_("Log: ") + GetLogModeText(static_cast<uint8_t>(Task.TaskProtMode & 0xFF))));
}

void TBackupForm::ArrangeDestControls()
{
    // The layouts size the destination radio buttons by their translated texts.
    gbDestMode->updateGeometry();
}

void TBackupForm::UpdateDriveIdTexts()
{
    const QString hint = gbDestMode->toolTip() + QStringLiteral("\r\n") +
                         QStr(SafeFormat(_("Drive identifier = %s"), {Task.DriveId}));
    rbDrives->setToolTip(hint);
    rbZipDir->setToolTip(hint);
    paDriveId->setText(QStr(_("Drive identifier") + ": " + Task.DriveId));
}

// ------------------------------------------------------------------------------------------------
// Language, position and size

void TBackupForm::UpdateLanguage()
{
    TranslateTexts();
    setWindowTitle(QStr(MakeCaption(_("Configure backup task"), "")));
    AddBtn->setText(
        QStr(_("Add directories\r\nto task")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    UpdateDriveIdTexts();
    ArrangeDestControls();
    ShowSelectionTotals();
    ShowTaskCaption();
    ShowBackupModeSelection();
    UpdateTaskControls();
    pcMain->setCurrentIndex(0);
    ShowSelectionPage(tsSubDirs);
    ShowToolPage(tsToolDirs);
}

void TBackupForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        GuardSlot([this] { UpdateLanguage(); });
    QMainWindow::changeEvent(event);
}

void TBackupForm::SetDefaultPos()
{
    UForm.FormPos.xprim = UForm.FormPos.xmult = UForm.FormPos.yprim = UForm.FormPos.ymult = 50;
    UForm.ws = wsNormal;
    if (ResetProgressPosition)
        ResetProgressPosition();
}

void TBackupForm::SetDefaultSize()
{
    UForm.ws = wsNormal;
    UForm.UseDefault = true;
    if (ResetProgressSize)
        ResetProgressSize();
}

void TBackupForm::ApplyWindowState()
{
    if (UForm.UseDefault) {
        resize(DefWidth, DefHeight);
        RestoreFormPos(UForm.FormPos, this);
    } else {
        RestoreFormPos(UForm.FormPos, this);
    }
    const QList<int> horizontal = spMain->sizes();
    const int total = horizontal.value(0) + horizontal.value(1);
    if (UForm.CWidth > 0 && UForm.CWidth < 1000 && total > 0) {
        const int right = MulDiv(UForm.CWidth, width(), 1000);
        spMain->setSizes({std::max(1, total - right), right});
    }
    const QList<int> vertical = spRight->sizes();
    const int vtotal = vertical.value(0) + vertical.value(1);
    if (UForm.SHeight > 0 && UForm.SHeight < 1000 && vtotal > 0) {
        const int lower = MulDiv(UForm.SHeight, pcMain->height(), 1000);
        spRight->setSizes({std::max(1, vtotal - lower), lower});
    }
    if (UForm.ws == wsMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TBackupForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    GuardSlot([this] {
        if (!FShown) {
            FShown = true;
            ApplyWindowState();
        }
    });
}

void TBackupForm::hideEvent(QHideEvent* event)
{
    GuardSlot([this] {
        UForm.ws = isMaximized() ? wsMaximized : isMinimized() ? wsMinimized : wsNormal;
        if (UForm.ws == wsNormal) {
            SaveFormPos(UForm.FormPos, this);
            UForm.FormPos.dpi = ScreenDpiOf(this);
            UForm.UseDefault = false;
        }
        UForm.CWidth = MulDiv(paRight->width(), 1000, std::max(1, width()));
        UForm.SHeight = MulDiv(pnSelections->height(), 1000, std::max(1, pcMain->height()));
        FShown = false;
    });
    QMainWindow::hideEvent(event);
}

// ------------------------------------------------------------------------------------------------
// Settings file

std::string TBackupForm::FilterListName(int i) const
{
    return FilterLists.at(static_cast<size_t>(i)).first;
}

void TBackupForm::AddFilterList(const std::string& name, std::unique_ptr<TExtensionList> list)
{
    FilterLists.emplace_back(name, std::move(list));
    FilterListe->addItem(QStr(name));
}

void TBackupForm::LoadFromIni(TMemIniFile& AIniFile)
{
    edFolder->setText(QStr(AIniFile.ReadString("Backup", "LastDir", "")));
    BuZiel->setEditText(QStr(AIniFile.ReadString("Backup", "LastDest", "")));
    Task.LastLogFile = AIniFile.ReadString("Backup", "LastLog", "");

    TFormPos& pos = UForm.FormPos;
    const int state = AIniFile.ReadInteger("MainWindow", "WindowState", 0);
    UForm.ws = state == 1 ? wsMinimized : state == 2 ? wsMaximized : wsNormal;
    pos.xprim = AIniFile.ReadInteger("MainWindow", "Left", pos.xprim);
    if (AIniFile.ValueExists("MainWindow", "MultLeft"))
        pos.xmult = AIniFile.ReadInteger("MainWindow", "MultLeft", pos.xmult);
    else
        pos.xmult = AIniFile.ReadInteger("MainWindow", "DualMonPos", pos.xmult);
    pos.yprim = AIniFile.ReadInteger("MainWindow", "Top", pos.yprim);
    pos.ymult = AIniFile.ReadInteger("MainWindow", "MultTop", pos.yprim);
    pos.w = AIniFile.ReadInteger("MainWindow", "Width", width());
    pos.h = AIniFile.ReadInteger("MainWindow", "Height", height());
    if (pos.w < DefWidth * 9 / 10)
        pos.w = DefWidth;
    if (pos.h < DefHeight)
        pos.h = DefHeight;
    pos.dpi = AIniFile.ReadInteger("MainWindow", "PixelsPerInch", ScreenDpiOf(this));
    UForm.UseDefault = false;
    UForm.CWidth = ReadPerMille(AIniFile.ReadString("MainWindow", "AutoWidth", ""));
    UForm.SHeight = ReadPerMille(AIniFile.ReadString("MainWindow", "SelectionsHeight", ""));

    BuStatus = bsOK;

    FilterLists.clear();
    FilterListe->clear();
    const int count = std::clamp(AIniFile.ReadInteger("Backup", "FilterCount", 0), 0, MaxFilterLists);
    for (int i = 0; i < count; ++i) {
        const std::string section = "Filter" + std::to_string(i);
        const std::string name = AIniFile.ReadString(section, "Name", "");
        if (name.empty())
            continue;
        auto list = std::make_unique<TExtensionList>(Task.NewPeriod, sdmNormal);
        list->InclMode = AIniFile.ReadInteger(section, "Mode", 1) == 0 ? buInclude : buExclude;
        list->Include.SetCommaText(AIniFile.ReadString(section, "Include", ""));
        list->Exclude.SetCommaText(AIniFile.ReadString(section, "Exclude", ""));
        AddFilterList(name, std::move(list));
    }

    THistoryList destinations;
    destinations.SetMaxLen(50);
    destinations.LoadFromIni(AIniFile, "BDestination");
    const QString dest = BuZiel->currentText();
    SetComboItems(BuZiel, destinations);
    BuZiel->setEditText(dest);

    TaskList.LoadFromIni(AIniFile, "RecentBuTasks");
    if (TaskMenu)
        TaskMenu->Rebuild();

    Task.TaskLogName.clear();
    SetEditStatus(esNew);
    Task.AktNoComp = TTaskSettings::MakeTypeList();
    Task.AktNoComp.SetCommaText(ProgSettings.CopySettings.NoCompress);
    SetFilterDialogIni(AIniFile.FileName(), "FileFilter");
    SetShellDirDialogIni(AIniFile.FileName(), "Directories");
    if (TShellDirDialog* chooser = ShellDirDialog())
        chooser->LoadFromIni(AIniFile.FileName(), "Directories");
    IncludeItem = -1;
    ExcludeItem = -1;
    FilterBtn->setEnabled(false);
    Task.Folders.Clear();
    SortDirs = false;
    ShowTask();
}

void TBackupForm::SaveToIni(TMemIniFile& AIniFile)
{
    try {
        const std::string lastDir = StdStr(edFolder->text());
        if (!lastDir.empty() && XlDirectoryExists(lastDir))
            AIniFile.WriteString("Backup", "LastDir", lastDir);
        AIniFile.WriteString("Backup", "LastDest", StdStr(BuZiel->currentText()));
        AIniFile.WriteString("Backup", "LastLog", Task.LastLogFile);

        const TFormPos& pos = UForm.FormPos;
        AIniFile.WriteInteger("MainWindow", "WindowState", UForm.ws);
        AIniFile.WriteInteger("MainWindow", "PixelsPerInch", ScreenDpiOf(this));
        AIniFile.WriteInteger("MainWindow", "Left", pos.xprim);
        AIniFile.DeleteKey("MainWindow", "DualMonPos");
        AIniFile.WriteInteger("MainWindow", "MultLeft", pos.xmult);
        AIniFile.WriteInteger("MainWindow", "Top", pos.yprim);
        AIniFile.WriteInteger("MainWindow", "MultTop", pos.ymult);
        AIniFile.WriteInteger("MainWindow", "Width", pos.w - pos.wdiff);
        AIniFile.WriteInteger("MainWindow", "Height", pos.h);
        AIniFile.WriteString("MainWindow", "AutoWidth",
                             PerMilleText(MulDiv(paRight->width(), 1000, std::max(1, width()))));
        AIniFile.WriteString(
            "MainWindow", "SelectionsHeight",
            PerMilleText(MulDiv(pnSelections->height(), 1000, std::max(1, pcMain->height()))));

        const int count = FilterListCount();
        AIniFile.WriteInteger("Backup", "FilterCount", count);
        for (int i = 0; i < MaxFilterLists; ++i) {
            const std::string section = "Filter" + std::to_string(i);
            AIniFile.EraseSection(section);
            if (i >= count)
                continue;
            const TExtensionList& list = FilterList(i);
            AIniFile.WriteString(section, "Name", FilterListName(i));
            AIniFile.WriteInteger(section, "Mode", list.InclMode == buExclude ? 1 : 0);
            if (list.InclMode == buExclude)
                AIniFile.WriteString(section, "Exclude", list.Exclude.CommaText());
            else
                AIniFile.WriteString(section, "Include", list.Include.CommaText());
        }

        THistoryList destinations;
        destinations.SetMaxLen(50);
        destinations.AssignList(ComboItems(BuZiel));
        destinations.SaveToIni(AIniFile, "BDestination", true);
        TaskList.SaveToIni(AIniFile, "RecentBuTasks", true);
    } catch (...) {
        // Saving the editor's state must never stop the program from ending.
    }
}

// ------------------------------------------------------------------------------------------------
// Keys

bool TBackupForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && isVisible()) {
            auto* key = static_cast<QKeyEvent*>(event);
            bool handled = false;
            GuardSlot([&] { handled = FormKeyDown(key->key(), key->modifiers()); });
            if (handled)
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TBackupForm::TypesTabVisible() const
{
    const int line = CurrentLine();
    return line < 0 || Task.Folders[line].SubDirMode == sdmNormal;
}

void TBackupForm::ShowSelectionPage(QWidget* page)
{
    pcSelection->setTabVisible(pcSelection->indexOf(tsTypes), TypesTabVisible());
    if (page != tsTypes || TypesTabVisible())
        pcSelection->setCurrentWidget(page);
}

bool TBackupForm::ShowToolPage(QWidget* page)
{
    pcTools->setCurrentWidget(page);
    if (page == tsToolTypes)
        FilterListeChange();
    return true;
}

void TBackupForm::ShowCurrentSelection(bool /*rebuild*/, bool /*force*/, bool /*third*/)
{
    if (Task.Folders.Empty())
        return;
    if (SelectedDirBox->currentRow() < 0)
        SelectedDirBox->setCurrentRow(0);
    ShowSourceSelection(SelectedDirBox->currentRow());
}

void TBackupForm::FocusGroup(QGroupBox* group)
{
    if (!group->isVisible())
        return;
    if (group->focusPolicy() != Qt::NoFocus) {
        group->setFocus();
        return;
    }
    for (QWidget* child : group->findChildren<QWidget*>())
        if (child->isVisible() && child->isEnabled() && child->focusPolicy() != Qt::NoFocus) {
            child->setFocus();
            return;
        }
}

bool TBackupForm::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    const bool ctrl = shift & Qt::ControlModifier;
    auto sources = [this] { pcMain->setCurrentWidget(tsDirectories); };
    if (ctrl) {
        if (shift & Qt::ShiftModifier) {
            switch (key) {
            case Qt::Key_A:
                sources();
                ShowSelectionPage(tsSubDirs);
                ApplyDirFilterBtnClick();
                return true;
            case Qt::Key_B:
                sources();
                ShowSelectionPage(tsSubDirs);
                pmiBackupPreviewClick();
                return true;
            case Qt::Key_D:
                sources();
                ShowSelectionPage(tsSubDirs);
                EditDirFilterBtnClick();
                return true;
            case Qt::Key_F:
                sources();
                ShowSelectionPage(tsFiles);
                FilterBtnClick();
                return true;
            case Qt::Key_Y:
                sources();
                if (TypesTabVisible()) {
                    ShowSelectionPage(tsTypes);
                    ExtFilterBtnClick();
                    if (ExDirChanged)
                        ShowCurrentSelection(true, false, false);
                    ShowToolPage(tsToolTypes);
                    if (IncludeRB->isVisible() && IncludeRB->isEnabled())
                        IncludeRB->setFocus();
                }
                return true;
            default:
                return false;
            }
        }
        switch (key) {
        case Qt::Key_B:
            sources();
            ShowSelectionPage(tsSubDirs);
            SelectedDirBox->setFocus();
            return true;
        case Qt::Key_D:
            ShowToolPage(tsToolDirs);
            sources();
            ShowSelectionPage(tsSubDirs);
            btFolder->click();
            return true;
        case Qt::Key_F:
            sources();
            ShowSelectionPage(tsFiles);
            ShowFileSettings();
            return true;
        case Qt::Key_O:
            pcMain->setCurrentWidget(tsOptions);
            FocusGroup(gbSync);
            return true;
        case Qt::Key_S:
            pcMain->setCurrentWidget(tsSettings);
            FocusGroup(gbMethod);
            return true;
        case Qt::Key_T:
            ShowToolPage(tsToolDirs);
            sources();
            btnDir->click();
            return true;
        case Qt::Key_U:
            sources();
            ShowSelectionPage(tsSubDirs);
            if (rbExcludeDirs->isVisible())
                rbExcludeDirs->setFocus();
            return true;
        case Qt::Key_Y:
            sources();
            if (TypesTabVisible()) {
                pcSelection->setCurrentWidget(tsTypes);
                pcTools->setCurrentWidget(tsToolTypes);
                FilterListeChange();
            }
            return true;
        default:
            return false;
        }
    }
    switch (key) {
    case Qt::Key_F1:
        FormHelp();
        return true;
    case Qt::Key_F2:
        itmHelpOverview->trigger();
        return true;
    case Qt::Key_F5:
        UpdateItemClick();
        return true;
    case Qt::Key_F10:
        pmMain->popup(GetBottomRightPos(sbMenu));
        return true;
    case Qt::Key_F11: {
        QWidget* focused = focusWidget();
        if (focused == SelectedDirBox || (focused && focused->parentWidget() == SelectedDirBox)) {
            if (QListWidgetItem* item = SelectedDirBox->currentItem())
                MsgDialog(item->checkState() == Qt::Checked ? _("Backup of directory enabled")
                                                            : _("Backup of directory disabled"),
                          mdtCustom);
        } else if (focused && !qobject_cast<QTreeView*>(focused) && !ControlHint(focused).isEmpty()) {
            MsgDialog(StdStr(ControlHint(focused)), mdtCustom);
        }
        return true;
    }
    case Qt::Key_F12:
        if (!pmHelper->actions().isEmpty())
            pmHelper->popup(frameGeometry().topRight());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focusWidget() == paDriveId) {
            paDriveIdClick();
            return true;
        }
        return false;
    default:
        return false;
    }
}

// ------------------------------------------------------------------------------------------------
// Help

void TBackupForm::FormHelp()
{
    itmHelpBackupClick();
}

void TBackupForm::OpenHelp(const std::string& topic)
{
    OpenHelpTopic(topic);
}

void TBackupForm::itmHelpOverviewClick()
{
    OpenHelp("qv-task.html");
}

void TBackupForm::itmHelpBackupClick()
{
    std::string topic;
    if (pcMain->currentWidget() == tsSettings) {
        topic = "qv-settings.html";
    } else if (pcMain->currentWidget() == tsOptions) {
        topic = "qv-options.html";
    } else {
        QWidget* focused = focusWidget();
        if (focused && pcSelection->isAncestorOf(focused)) {
            if (pcSelection->currentWidget() == tsFiles)
                topic = "qv-selections.html#filesel";
            else if (pcSelection->currentWidget() == tsTypes)
                topic = "qv-selections.html#types";
            else
                topic = "qv-selections.html#subdir";
        } else {
            topic = Task.BuFtp ? "qv-task.html#ftp" : "qv-task.html#budialog";
        }
    }
    OpenHelp(topic);
}

// ------------------------------------------------------------------------------------------------
// Preview

void TBackupForm::pmiBackupPreviewClick()
{
    ShowSelectionPreview(_("Preview of files to be backed up"), false, true, true);
}

void TBackupForm::ShowSelectionPreview(const std::string& Title, bool Excluded, bool ArchiveTest,
                                       bool ToBackup)
{
    const int line = CurrentLine();
    if (line < 0)
        return;
    const TExtensionList& entry = Task.Folders[line];
    TStringList lines;
    int count = 0;
    int64_t size = 0;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        TPreviewContext ctx = MakePreviewContext(Task, Date());
        ctx.Checkpoint = [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
        try {
            PreviewDirectory(entry.SPath, "", "", false, Excluded, false, ArchiveTest, count, size, lines,
                             entry, ctx);
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
    }
    const std::string summary = FormatCountStr(_("No files"), _("1 file totaling %s"),
                                               _("%u files totaling %s"), count, FormatSize(false, size));
    TPreviewOptions options = 0;
    if (Excluded && entry.IncludeDirs)
        options |= PreviewOption(poExclude);
    if (entry.TmPeriod.TmRef == trCreate)
        options |= PreviewOption(poShowCrTm);
    if (ToBackup)
        options |= PreviewOption(poNotEmpty);
    ShowFilePreview(Title, entry.SPath, summary, options, lines);
}

// ------------------------------------------------------------------------------------------------
// Desktop shortcuts

namespace {
// Creates the shortcut file; the options are the dialog's text of options.
void WriteTaskShortcut(const std::string& name, const std::string& taskArgs, const std::string& options,
                       const std::string& description, bool runAs)
{
    const std::string link = AddPathDelimiter(DesktopDir()) + name + ".lnk";
    const std::string file = ShellLinkFileName(link);
    TPosixFileData data;
    if (ReadFileData(file, false, data) == 0 &&
        !ConfirmDialog(SafeFormat(_("Replace existing desktop shortcut \"%s\"?"), {name})))
        return;
    InitProgramLocation();
    const int32_t result =
        MakeShortcut(link, ProgramDir + ProgramName, taskArgs + options, runAs, description, ActiveTaskDir);
    if (result < 0)
        ErrorDialog(_("Error creating desktop shortcut!") + "\r\n" +
                    SystemErrorMessage(static_cast<uint32_t>(result) & 0xFFFF));
}
} // namespace

void TBackupForm::CreateShortcut(const std::string& ATaskName)
{
    if (ATaskName.empty())
        return;
    std::string name = ATaskName;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    name = DeleteExtension(name);
    std::string shortcut = "Qv-Bu-" + name;
    std::string description = _("Backup: ") + name;
    std::string options;
    bool runAs = false;
    int slot = -1;
    const std::string autoTasks = AutoTaskList ? AutoTaskList() : std::string();
    const std::string quoted = "\"" + ATaskName + "\"";
    if (!ShowDesktopIconDialog(_("Create Desktop shortcut to start backups"), quoted, autoTasks, shortcut,
                               description, options, runAs, slot))
        return;
    const std::string taskArg = slot < 0 ? quoted : "#" + std::to_string(slot);
    WriteTaskShortcut(shortcut, taskArg + CmdSwitch("force"), options, description, runAs);
}

void TBackupForm::CreateMultiShortcut(const std::string& AName, const std::string& ADesc,
                                      const std::string& ATaskNames)
{
    std::string shortcut = AName;
    std::string description = ADesc;
    std::string options;
    bool runAs = false;
    int slot = -1;
    if (!ShowDesktopIconDialog(_("Create Desktop shortcut to start backups"), ATaskNames, "", shortcut,
                               description, options, runAs, slot))
        return;
    const std::string taskArg =
        slot < 0 ? ATaskNames + " /f" : "#" + std::to_string(slot) + CmdSwitch("force");
    WriteTaskShortcut(shortcut, taskArg, options, description, runAs);
}
