#include "restore/gui/RestoreMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <thread>

#include "archive/EngineFs.h"
#include "backup/gui/PreviewDlg.h"
#include "backup/gui/TimeCompareDlg.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/WinExecute.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/FilterDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"
#include "platform/DesktopEntry.h"
#include "platform/FileText.h"
#include "platform/XdgDirs.h"
#include "restore/RestoreUtils.h"
#include "restore/gui/DetailInfoDlg.h"
#include "rtl/Gettext.h"
#include "rtl/Thread.h"

#ifndef VASTREL_VERSION
#define VASTREL_VERSION "6.0.0"
#endif

namespace {

constexpr int HistoryMax = 50;
constexpr int RoleIndex = Qt::UserRole;    // list index + 1 (tree) or list index (file list)
constexpr int RoleName = Qt::UserRole + 1; // a node's name without its count

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& text)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QRadioButton* NewRadio(QWidget* parent, const char* name, const QString& text)
{
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

TDateTime DateOf(const QDateEdit* e)
{
    const QDate d = e->date();
    return EncodeDate(d.year(), d.month(), d.day());
}

void SetDate(QDateEdit* e, int days)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(days, y, m, d);
    e->setDate(QDate(y, m, d));
}

// The check pictures of the zip browser (0 none, 1 all, 2 some selected), drawn in fixed colours so
// that they show in the light and the dark style alike.
QIcon StateIcon(int state)
{
    static QIcon icons[3];
    if (icons[state].isNull()) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
        p.setBrush(QColor(0xFF, 0xFF, 0xFF));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        if (state == 1) {
            p.setPen(QPen(QColor(0x10, 0x60, 0x10), 2.2));
            p.drawPolyline(QPolygonF({QPointF(4, 8.5), QPointF(7, 11.5), QPointF(12, 4.5)}));
        } else if (state == 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x40, 0x80, 0x40));
            p.drawRect(QRectF(4.5, 4.5, 7, 7));
        }
        icons[state] = QIcon(pm);
    }
    return icons[state];
}

std::string WithoutSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

} // namespace

// ---- construction

TMainForm::TMainForm(const std::vector<std::string>& args, const std::string& IniName, QWidget* parent)
    : QWidget(parent), FEngine(std::make_unique<TRestoreEngine>(static_cast<IRestoreHost&>(*this)))
{
    setObjectName(QStringLiteral("MainForm"));
    SetMainForm(this);
    FVersion = VASTREL_VERSION;
    std::string settingsDir, documents, progFiles;
    GetDefaultFolders(settingsDir, documents, progFiles);
    FUserPath = documents;
    if (IniName.empty()) {
        const std::string dir = GetUsableDir(ReadIniPathFromRegistry(settingsDir), settingsDir);
        FIniName = AddPathDelimiter(dir) + "QvRestore.ini";
    } else {
        FIniName = IniName;
    }
    XlForceDirectories(EngineFs::ExtractFilePath(FIniName));
    FLogName = EngineFs::ExtractFilePath(FIniName) + "QvRestore.log";
    FEngine->QvTempDir = EngineFs::UserTempDir() + "QvRest";
    XlForceDirectories(FEngine->QvTempDir);
    FEngine->ProgramHeader = "QvRestore - 64-bit (" + FVersion + ")";

    auto* layout = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    bbDirMode = NewButton(this, "bbDirMode", TrQ("Backup directories"));
    bbZipMode = NewButton(this, "bbZipMode", TrQ("Zip archives"));
    bbDirMode->setCheckable(true);
    bbZipMode->setCheckable(true);
    auto* modeGroup = new QButtonGroup(this);
    modeGroup->addButton(bbDirMode);
    modeGroup->addButton(bbZipMode);
    modes->addWidget(bbDirMode);
    modes->addWidget(bbZipMode);
    modes->addStretch();
    layout->addLayout(modes);
    pcPages = new QStackedWidget(this);
    pcPages->setObjectName(QStringLiteral("pcPages"));
    tsDirectories = new QWidget(pcPages);
    tsDirectories->setObjectName(QStringLiteral("tsDirectories"));
    tsZip = new QWidget(pcPages);
    tsZip->setObjectName(QStringLiteral("tsZip"));
    pcPages->addWidget(tsDirectories);
    pcPages->addWidget(tsZip);
    layout->addWidget(pcPages, 1);
    BuildDirectoryPage(tsDirectories);
    BuildZipPage(tsZip);
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnControl"));
    BuildControlPanel(panel);
    layout->addWidget(panel);

    connect(bbDirMode, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowZipPage(false); }); });
    connect(bbZipMode, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            ShowZipPage(true);
            if (isVisible() && !ListArchive())
                bbArchiveClick();
        });
    });

    ReadSettings();
    ApplyCommandLine(args);
    SetBakMode(FConfig.BakCopies);
    SetRestoring(false);
    // the saved size only at the dpi it was saved with; the place always, kept on a single monitor
    const int dpi = screen() ? static_cast<int>(screen()->logicalDotsPerInch()) : 96;
    if (FConfig.Width > 0 && FConfig.Height > 0 && FConfig.PixelsPerInch == dpi)
        resize(FConfig.Width, FConfig.Height);
    else
        resize(1000, 720);
    if (FConfig.Left >= 0 && FConfig.Top >= 0) {
        TBoundsRect r{FConfig.Left, FConfig.Top, FConfig.Left + width(), FConfig.Top + height()};
        if (QGuiApplication::screens().size() == 1) {
            const QRect w = QGuiApplication::primaryScreen()->availableGeometry();
            r = FitBoundsToMonitor({w.left(), w.top(), w.right() + 1, w.bottom() + 1}, dpi, r);
        }
        move(r.Left, r.Top);
    }
    VSplitter->setSizes(
        {width() - SplitToWidth(FConfig.Split, width()), SplitToWidth(FConfig.Split, width())});
    ShowZipPage(FZipMode);
    UpdateCaption();
}

TMainForm::~TMainForm()
{
    if (MainForm() == this)
        SetMainForm(nullptr);
}

void TMainForm::BuildDirectoryPage(QWidget* page)
{
    auto* layout = new QHBoxLayout(page);
    auto* split = new QSplitter(page);
    layout->addWidget(split);
    FDirModel = new QFileSystemModel(this);
    FDirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    FDirModel->setRootPath(QStringLiteral("/"));
    fShellTreeView = new QTreeView(split);
    fShellTreeView->setObjectName(QStringLiteral("fShellTreeView"));
    fShellTreeView->setModel(FDirModel);
    for (int c = 1; c < FDirModel->columnCount(); ++c)
        fShellTreeView->hideColumn(c);
    fShellTreeView->header()->hide();
    connect(FDirModel, &QFileSystemModel::directoryLoaded, this, [this] {
        fShellTreeView->scrollTo(fShellTreeView->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
    split->addWidget(fShellTreeView);

    auto* right = new QWidget(split);
    auto* rl = new QVBoxLayout(right);
    edFolder = new QComboBox(right);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    edFolder->setEditable(true);
    edFolder->setInsertPolicy(QComboBox::NoInsert);
    rl->addWidget(edFolder);
    auto* modes = new QHBoxLayout;
    rbFiles = NewRadio(right, "rbFiles", TrQ("selected files"));
    rbDirs = NewRadio(right, "rbDirs", TrQ("whole directory"));
    rbSched = NewRadio(right, "rbSched", TrQ("files from schedule"));
    modes->addWidget(rbFiles);
    modes->addWidget(rbDirs);
    modes->addWidget(rbSched);
    modes->addStretch();
    rl->addLayout(modes);
    pcSource = new QStackedWidget(right);
    pcSource->setObjectName(QStringLiteral("pcSource"));
    rl->addWidget(pcSource, 1);

    // selected files
    tsFiles = new QWidget(pcSource);
    tsFiles->setObjectName(QStringLiteral("tsFiles"));
    auto* fl = new QVBoxLayout(tsFiles);
    fl->setContentsMargins(0, 0, 0, 0);
    FFileModel = new QFileSystemModel(this);
    FFileModel->setFilter(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    fShellListView = new QTreeView(tsFiles);
    fShellListView->setObjectName(QStringLiteral("fShellListView"));
    fShellListView->setModel(FFileModel);
    fShellListView->setRootIsDecorated(false);
    fShellListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fShellListView->setSortingEnabled(true);
    fShellListView->header()->setStretchLastSection(false);
    fShellListView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    fShellListView->header()->resizeSection(3, 150);
    fl->addWidget(fShellListView, 1);
    auto* fb = new QHBoxLayout;
    btAllFiles = NewButton(tsFiles, "btAllFiles", TrQ("Select all"));
    btNoFiles = NewButton(tsFiles, "btNoFiles", TrQ("Deselect all"));
    btOpen = NewButton(tsFiles, "btOpen", TrQ("Open"));
    fb->addWidget(btAllFiles);
    fb->addWidget(btNoFiles);
    fb->addWidget(btOpen);
    fb->addStretch();
    fl->addLayout(fb);
    pcSource->addWidget(tsFiles);

    // whole directory
    tsDir = new QWidget(pcSource);
    tsDir->setObjectName(QStringLiteral("tsDir"));
    auto* dl = new QVBoxLayout(tsDir);
    cbSubdirs = NewCheck(tsDir, "cbSubdirs", TrQ("Include subdirectories"));
    cbEmptyDirs = NewCheck(tsDir, "cbEmptyDirs", TrQ("Restore empty subdirectories"));
    dl->addWidget(cbSubdirs);
    dl->addWidget(cbEmptyDirs);
    gbBak = new QGroupBox(TrQ("Security copies created on backup"), tsDir);
    gbBak->setObjectName(QStringLiteral("gbBak"));
    auto* bl = new QGridLayout(gbBak);
    rbBakIgnore = NewRadio(gbBak, "rbBakIgnore", TrQ("Ignore"));
    rbBakExclude = NewRadio(gbBak, "rbBakExclude", TrQ("Exclude"));
    rbBakUse = NewRadio(gbBak, "rbBakUse", TrQ("Include"));
    bl->addWidget(rbBakIgnore, 0, 0);
    bl->addWidget(rbBakExclude, 0, 1);
    bl->addWidget(rbBakUse, 0, 2);
    bl->addWidget(new QLabel(TrQ("Filename suffix"), gbBak), 1, 0);
    edtBakSuffix = new QLineEdit(gbBak);
    edtBakSuffix->setObjectName(QStringLiteral("edtBakSuffix"));
    bl->addWidget(edtBakSuffix, 1, 1);
    bbResetSuffix = NewButton(gbBak, "bbResetSuffix", TrQ("Use default placeholder"));
    bl->addWidget(bbResetSuffix, 1, 2);
    bl->addWidget(new QLabel(TrQ("Restore the latest version of each file relative to a given date"), gbBak),
                  2, 0, 1, 2);
    dtpBakDate = new QDateEdit(gbBak);
    dtpBakDate->setObjectName(QStringLiteral("dtpBakDate"));
    dtpBakDate->setCalendarPopup(true);
    bl->addWidget(dtpBakDate, 3, 0);
    bbBakToday = NewButton(gbBak, "bbBakToday", TrQ("Set to today"));
    bl->addWidget(bbBakToday, 3, 1);
    dl->addWidget(gbBak);
    auto* dfl = new QHBoxLayout;
    dfl->addWidget(new QLabel(TrQ("File filter"), tsDir));
    edDFileFilter = new QLineEdit(tsDir);
    edDFileFilter->setObjectName(QStringLiteral("edDFileFilter"));
    edDFileFilter->setReadOnly(true);
    dfl->addWidget(edDFileFilter, 1);
    bbFilter = NewButton(tsDir, "bbFilter", TrQ("Settings"));
    dfl->addWidget(bbFilter);
    dl->addLayout(dfl);
    bbPreviewDir = NewButton(tsDir, "bbPreviewDir", TrQ("Preview"));
    dl->addWidget(bbPreviewDir, 0, Qt::AlignLeft);
    dl->addStretch();
    pcSource->addWidget(tsDir);

    // files from schedule
    tsSched = new QWidget(pcSource);
    tsSched->setObjectName(QStringLiteral("tsSched"));
    auto* sl = new QGridLayout(tsSched);
    sl->addWidget(new QLabel(TrQ("Scan only matching subdirectories:"), tsSched), 0, 0);
    edDirFilter = new QLineEdit(tsSched);
    edDirFilter->setObjectName(QStringLiteral("edDirFilter"));
    sl->addWidget(edDirFilter, 0, 1);
    sl->addWidget(new QLabel(TrQ("Only for this drive identifier:"), tsSched), 1, 0);
    edDriveId = new QLineEdit(tsSched);
    edDriveId->setObjectName(QStringLiteral("edDriveId"));
    sl->addWidget(edDriveId, 1, 1);
    sl->addWidget(new QLabel(TrQ("Date:"), tsSched), 2, 0);
    dtpRest = new QDateEdit(tsSched);
    dtpRest->setObjectName(QStringLiteral("dtpRest"));
    dtpRest->setCalendarPopup(true);
    sl->addWidget(dtpRest, 2, 1);
    bbToday = NewButton(tsSched, "bbToday", TrQ("Set to today"));
    sl->addWidget(bbToday, 2, 2);
    sl->addWidget(new QLabel(TrQ("File filter"), tsSched), 3, 0);
    edSFileFilter = new QLineEdit(tsSched);
    edSFileFilter->setObjectName(QStringLiteral("edSFileFilter"));
    edSFileFilter->setReadOnly(true);
    sl->addWidget(edSFileFilter, 3, 1);
    bbSFilter = NewButton(tsSched, "bbSFilter", TrQ("Settings"));
    sl->addWidget(bbSFilter, 3, 2);
    bbPreviewSched = NewButton(tsSched, "bbPreviewSched", TrQ("Preview"));
    sl->addWidget(bbPreviewSched, 4, 0, Qt::AlignLeft);
    sl->setRowStretch(5, 1);
    pcSource->addWidget(tsSched);

    paUnpack = new QWidget(right);
    paUnpack->setObjectName(QStringLiteral("paUnpack"));
    auto* ul = new QHBoxLayout(paUnpack);
    ul->setContentsMargins(0, 0, 0, 0);
    ul->addWidget(new QLabel(TrQ("Uncompress:"), paUnpack));
    GzUnPackCB = NewCheck(paUnpack, "GzUnPackCB", TrQ("gz/gze"));
    ZipUnpackCB = NewCheck(paUnpack, "ZipUnpackCB", TrQ("zip files"));
    ul->addWidget(GzUnPackCB);
    ul->addWidget(ZipUnpackCB);
    ul->addStretch();
    rl->addWidget(paUnpack);
    split->addWidget(right);
    split->setStretchFactor(1, 2);

    connect(fShellTreeView, &QTreeView::clicked, this,
            [this] { GuardSlot([this] { fShellTreeViewClick(); }); });
    connect(rbFiles, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetMode(0); }); });
    connect(rbDirs, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetMode(1); }); });
    connect(rbSched, &QRadioButton::clicked, this, [this] { GuardSlot([this] { SetMode(2); }); });
    connect(edFolder, &QComboBox::textActivated, this, [this](const QString& t) {
        GuardSlot([this, t] {
            if (rbSched->isChecked() && IsInZipArchive(StdStr(t)))
                SetMode(1);
            else
                ShowFolder(StdStr(t));
        });
    });
    connect(edFolder, &QComboBox::editTextChanged, this, [this](const QString& t) {
        const bool inZip = IsInZipArchive(StdStr(t));
        cbSubdirs->setVisible(!inZip);
        gbBak->setVisible(!inZip);
    });
    connect(btAllFiles, &QPushButton::clicked, this, [this] { SelectAllFiles(true); });
    connect(btNoFiles, &QPushButton::clicked, this, [this] { SelectAllFiles(false); });
    connect(btOpen, &QPushButton::clicked, this, [this] { GuardSlot([this] { btOpenClick(); }); });
    connect(fShellListView, &QTreeView::doubleClicked, this,
            [this] { GuardSlot([this] { btOpenClick(); }); });
    connect(rbBakIgnore, &QRadioButton::clicked, this, [this] { SetBakMode(0); });
    connect(rbBakExclude, &QRadioButton::clicked, this, [this] { SetBakMode(1); });
    connect(rbBakUse, &QRadioButton::clicked, this, [this] { SetBakMode(2); });
    connect(bbResetSuffix, &QPushButton::clicked, this,
            [this] { edtBakSuffix->setText(QStringLiteral("bak-#")); });
    connect(bbBakToday, &QPushButton::clicked, this, [this] { dtpBakDate->setDate(QDate::currentDate()); });
    connect(bbToday, &QPushButton::clicked, this, [this] { dtpRest->setDate(QDate::currentDate()); });
    connect(bbFilter, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbFilterClick(); }); });
    connect(bbSFilter, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbFilterClick(); }); });
    connect(bbPreviewDir, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { bbPreviewDirClick(); }); });
    connect(bbPreviewSched, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { bbPreviewSchedClick(); }); });
    connect(ZipUnpackCB, &QCheckBox::clicked, this, [this] {
        GuardSlot([this] {
            if (rbFiles->isChecked())
                ShowFolder(StdStr(edFolder->currentText()));
        });
    });
}

void TMainForm::BuildZipPage(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    rbZipFile = NewRadio(page, "rbZipFile", TrQ("Single zip archive"));
    rbZipDir = NewRadio(page, "rbZipDir", TrQ("Zip archives per directory"));
    top->addWidget(rbZipFile);
    top->addWidget(rbZipDir);
    edZipArchive = new QComboBox(page);
    edZipArchive->setObjectName(QStringLiteral("edZipArchive"));
    edZipArchive->setEditable(true);
    edZipArchive->setInsertPolicy(QComboBox::NoInsert);
    top->addWidget(edZipArchive, 1);
    bbArchive = NewButton(page, "bbArchive", TrQ("Select"));
    top->addWidget(bbArchive);
    layout->addLayout(top);
    VSplitter = new QSplitter(page);
    VSplitter->setObjectName(QStringLiteral("VSplitter"));
    tvFiles = new QTreeWidget(VSplitter);
    tvFiles->setObjectName(QStringLiteral("tvFiles"));
    tvFiles->setHeaderHidden(true);
    lvFiles = new QTreeWidget(VSplitter);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setRootIsDecorated(false);
    lvFiles->setHeaderLabels({TrQ("Name"), TrQ("Date"), TrQ("Size")});
    lvFiles->header()->setSectionsClickable(true);
    lvFiles->header()->setStretchLastSection(false);
    lvFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvFiles->header()->resizeSection(1, 150);
    lvFiles->header()->resizeSection(2, 90);
    lvFiles->header()->setSortIndicatorShown(true);
    VSplitter->addWidget(tvFiles);
    VSplitter->addWidget(lvFiles);
    VSplitter->setStretchFactor(1, 3);
    layout->addWidget(VSplitter, 1);
    auto* bottom = new QHBoxLayout;
    bbExpand = NewButton(page, "bbExpand", TrQ("Show all directories"));
    bbCollaps = NewButton(page, "bbCollaps", TrQ("Show only root directories"));
    btSelNone = NewButton(page, "btSelNone", TrQ("Deselect all"));
    btSelAll = NewButton(page, "btSelAll", TrQ("Select all"));
    btReload = NewButton(page, "btReload", TrQ("Reload zip archive(s)"));
    btZipOpen = NewButton(page, "btZipOpen", TrQ("Open selected file"));
    laSelCount = new QLabel(page);
    laSelCount->setObjectName(QStringLiteral("laSelCount"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{bbExpand, bbCollaps, btSelNone, btSelAll, btReload, btZipOpen})
        bottom->addWidget(w);
    bottom->addSpacing(20);
    bottom->addWidget(laSelCount, 1);
    layout->addLayout(bottom);

    connect(bbArchive, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbArchiveClick(); }); });
    connect(btReload, &QPushButton::clicked, this, [this] { GuardSlot([this] { ListArchive(); }); });
    connect(edZipArchive, &QComboBox::textActivated, this, [this] { GuardSlot([this] { ListArchive(); }); });
    connect(btZipOpen, &QPushButton::clicked, this, [this] { GuardSlot([this] { btZipOpenClick(); }); });
    connect(btSelAll, &QPushButton::clicked, this, [this] { SelectAllEntries(true); });
    connect(btSelNone, &QPushButton::clicked, this, [this] { SelectAllEntries(false); });
    connect(bbExpand, &QPushButton::clicked, tvFiles, &QTreeWidget::expandAll);
    connect(bbCollaps, &QPushButton::clicked, this, [this] {
        tvFiles->collapseAll();
        if (tvFiles->topLevelItemCount() > 0)
            tvFiles->topLevelItem(0)->setExpanded(true);
    });
    connect(tvFiles, &QTreeWidget::currentItemChanged, this,
            [this] { GuardSlot([this] { FillFileList(); }); });
    tvFiles->viewport()->installEventFilter(this);
    lvFiles->viewport()->installEventFilter(this);
    tvFiles->installEventFilter(this);
    lvFiles->installEventFilter(this);
    connect(lvFiles->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { GuardSlot([this, column] { SortFileList(column); }); });
    auto modeChanged = [this](bool dirMode) {
        GuardSlot([this, dirMode] {
            if (FEngine->Options.ZipDirMode == dirMode)
                return;
            FEngine->Options.ZipDirMode = dirMode;
            if (isVisible())
                bbArchiveClick();
        });
    };
    connect(rbZipFile, &QRadioButton::clicked, this, [modeChanged] { modeChanged(false); });
    connect(rbZipDir, &QRadioButton::clicked, this, [modeChanged] { modeChanged(true); });
}

void TMainForm::BuildControlPanel(QWidget* panel)
{
    auto* layout = new QGridLayout(panel);
    layout->addWidget(new QLabel(TrQ("Restore to:"), panel), 0, 0);
    cbTarget = new QComboBox(panel);
    cbTarget->setObjectName(QStringLiteral("cbTarget"));
    cbTarget->setEditable(true);
    cbTarget->setInsertPolicy(QComboBox::NoInsert);
    layout->addWidget(cbTarget, 0, 1, 1, 3);
    btDest = NewButton(panel, "btDest", TrQ("Select"));
    btDest->setToolTip(TrQ("Select where to restore files"));
    layout->addWidget(btDest, 0, 4);
    auto* ow = new QGroupBox(TrQ("Overwrite existing files"), panel);
    ow->setObjectName(QStringLiteral("gbOverwrite"));
    auto* owl = new QHBoxLayout(ow);
    rbOverwriteOlder = NewRadio(ow, "rbOverwriteOlder", TrQ("Only older"));
    rbOverwriteAll = NewRadio(ow, "rbOverwriteAll", TrQ("Always"));
    rbOverwriteNone = NewRadio(ow, "rbOverwriteNone", TrQ("Never"));
    btnTimeSettings = NewButton(ow, "btnTimeSettings", QStringLiteral("…"));
    btnTimeSettings->setFixedWidth(32);
    btnTimeSettings->setToolTip(TrQ("Settings for file comparison by timestamp"));
    owl->addWidget(rbOverwriteOlder);
    owl->addWidget(btnTimeSettings);
    owl->addWidget(rbOverwriteAll);
    owl->addWidget(rbOverwriteNone);
    owl->addStretch();
    rbOverwriteOlder->setChecked(true);
    layout->addWidget(ow, 1, 0, 1, 2);
    auto* opts = new QVBoxLayout;
    cbProtected = NewCheck(panel, "cbProtected", TrQ("Overwrite write-protected files"));
    cbResArchive = NewCheck(panel, "cbResArchive", TrQ("Reset archive bit"));
    cbCreationTime = NewCheck(panel, "cbCreationTime", TrQ("Restore creation time"));
    opts->addWidget(cbProtected);
    opts->addWidget(cbResArchive);
    opts->addWidget(cbCreationTime);
    layout->addLayout(opts, 1, 2, 1, 3);
    laFile = new QLabel(panel);
    laFile->setObjectName(QStringLiteral("laFile"));
    laFile->setTextFormat(Qt::PlainText);
    laFile->setMinimumWidth(200);
    laCount = new QLabel(panel);
    laCount->setObjectName(QStringLiteral("laCount"));
    pbProgress = new QProgressBar(panel);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setRange(0, 100);
    pbProgress->setValue(0);
    layout->addWidget(laFile, 2, 0, 1, 3);
    layout->addWidget(laCount, 2, 3, 1, 2);
    layout->addWidget(pbProgress, 3, 0, 1, 5);
    auto* buttons = new QHBoxLayout;
    btRestore = NewButton(panel, "btRestore", TrQ("Restore"));
    btPause = NewButton(panel, "btPause", TrQ("Pause"));
    btLog = NewButton(panel, "btLog", TrQ("Log"));
    btOptions = NewButton(panel, "btOptions", TrQ("Set file associations"));
    bbHelp = NewButton(panel, "bbHelp", TrQ("Help"));
    btInfo = NewButton(panel, "btInfo", TrQ("Info"));
    btQuit = NewButton(panel, "btQuit", TrQ("Quit"));
    for (QWidget* w : std::initializer_list<QWidget*>{btRestore, btPause, btLog, btOptions})
        buttons->addWidget(w);
    buttons->addStretch();
    for (QWidget* w : std::initializer_list<QWidget*>{bbHelp, btInfo, btQuit})
        buttons->addWidget(w);
    layout->addLayout(buttons, 4, 0, 1, 5);
    layout->setColumnStretch(1, 1);

    connect(btRestore, &QPushButton::clicked, this, [this] { GuardSlot([this] { btRestoreClick(); }); });
    connect(btPause, &QPushButton::clicked, this, [this] { GuardSlot([this] { btPauseClick(); }); });
    connect(btLog, &QPushButton::clicked, this, [this] { GuardSlot([this] { btLogClick(); }); });
    connect(btDest, &QPushButton::clicked, this, [this] { GuardSlot([this] { btDestClick(); }); });
    connect(btnTimeSettings, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { btnTimeSettingsClick(); }); });
    connect(btOptions, &QPushButton::clicked, this, [this] { GuardSlot([this] { btOptionsClick(); }); });
    connect(btInfo, &QPushButton::clicked, this, [this] { GuardSlot([this] { btInfoClick(); }); });
    connect(bbHelp, &QPushButton::clicked, this, [this] {
        GuardSlot(
            [this] { OpenHelpTopic(ZipPageShown() ? "qv-restore.html#zip" : "qv-restore.html#qvrest"); });
    });
    connect(btQuit, &QPushButton::clicked, this, &QWidget::close);
}

// ---- settings and command line

void TMainForm::ReadSettings()
{
    const int today = static_cast<int>(std::floor(static_cast<double>(Date())));
    FConfig = ReadRestoreConfig(FIniName, WithoutSlash(FUserPath), today);
    FSource = FConfig.Source;
    FRMode = FConfig.Mode;
    cbProtected->setChecked(FConfig.ReadProtected);
    cbResArchive->setChecked(FConfig.ArchiveBit);
    GzUnPackCB->setChecked(FConfig.Unpack & 1);
    ZipUnpackCB->setChecked(FConfig.Unpack & 2);
    cbCreationTime->setChecked(FConfig.Unpack & 4);
    cbSubdirs->setChecked(FConfig.SubDirs);
    cbEmptyDirs->setChecked(FConfig.EmptyDirs);
    FEngine->Options.DeltaTime = FConfig.Timespan;
    FEngine->Options.DstIgnore = FConfig.IgnoreDst;
    edtBakSuffix->setText(QStr(FConfig.BakSuffix));
    SetDate(dtpBakDate, FConfig.BakDate);
    SetDate(dtpRest, FConfig.RestoreDate);
    edDirFilter->setText(QStr(FConfig.SubDirMask));
    edDriveId->setText(QStr(FConfig.DriveID));
    TTextFilter& filter = FEngine->FileFilter;
    filter.SetRegular((FConfig.FilterMode & 8) != 0);
    filter.SetMode(static_cast<TFilterMode>(FConfig.FilterMode & 7));
    try {
        const std::string text =
            FConfig.Filter.empty() || FConfig.Filter == "*.*" ? filter.MatchAll() : FConfig.Filter;
        filter.SetFilter(text);
    } catch (const std::exception&) {
    }
    if (!filter.Regular() && filter.GetFilter() == "*")
        filter.SetMode(fmOff);
    FEngine->Options.ZipDirMode = FConfig.ZipDir;
    (FConfig.ZipDir ? rbZipDir : rbZipFile)->setChecked(true);
    LoadHistoryCombo(FIniName, "Source", edFolder, HistoryMax, false);
    LoadHistoryCombo(FIniName, "ZipArchives", edZipArchive, HistoryMax, false);
    LoadHistoryCombo(FIniName, "Destination", cbTarget, HistoryMax, false);
    edZipArchive->setCurrentText(QStr(FConfig.LastZipArchive));
    AddToHistoryCombo(cbTarget, WithoutSlash(FConfig.Target));
    SetFilterDialogIni(FIniName, "FileFilter");
    SetShellDirDialogIni(FIniName, "DirDialog");
    ShowFilterText();
}

void TMainForm::ApplyCommandLine(const std::vector<std::string>& args)
{
    if (args.empty())
        return;
    TRestoreCommandLine cmd = ParseRestoreCommandLine(args);
    FRMode = cmd.RMode < 0 ? 0 : cmd.RMode;
    FUseDarkMode = cmd.Dark;
    TRestoreStart start = ResolveRestoreStart(cmd, FSource);
    FZipMode = start.ZipMode;
    if (start.SingleZip) {
        rbZipFile->setChecked(true);
        FEngine->Options.ZipDirMode = false;
    }
    if (!start.ZipArchive.empty())
        edZipArchive->setCurrentText(QStr(start.ZipArchive));
    FSource = start.Source;
    FFileList = start.FileList;
    if (FUseDarkMode)
        ApplyStyle(true);
}

void TMainForm::SaveSettings()
{
    TRestoreConfig& c = FConfig;
    c.Top = y();
    c.Left = x();
    c.Height = height();
    c.Width = width();
    c.PixelsPerInch = screen() ? static_cast<int>(screen()->logicalDotsPerInch()) : 96;
    const int panel = VSplitter->width() > 0 ? VSplitter->width() : 1;
    c.Split = std::to_string(MulDiv(lvFiles->width(), 1000, panel)) + "\xE2\x80\xB0";
    c.Source = StdStr(edFolder->currentText());
    c.Target = StdStr(cbTarget->currentText());
    c.Mode = rbDirs->isChecked() ? 1 : rbSched->isChecked() ? 2 : 0;
    c.ReadProtected = cbProtected->isChecked();
    c.ArchiveBit = cbResArchive->isChecked();
    c.Unpack = (GzUnPackCB->isChecked() ? 1 : 0) + (ZipUnpackCB->isChecked() ? 2 : 0) +
               (cbCreationTime->isChecked() ? 4 : 0);
    c.SubDirs = cbSubdirs->isChecked();
    c.EmptyDirs = cbEmptyDirs->isChecked();
    c.Timespan = FEngine->Options.DeltaTime;
    c.IgnoreDst = FEngine->Options.DstIgnore;
    c.BakCopies = FEngine->Options.BakMode;
    c.BakSuffix = StdStr(edtBakSuffix->text());
    c.BakDate = static_cast<int>(DateOf(dtpBakDate));
    c.RestoreDate = static_cast<int>(DateOf(dtpRest));
    c.SubDirMask = StdStr(edDirFilter->text());
    c.DriveID = StdStr(edDriveId->text());
    c.FilterMode = FEngine->FileFilter.Mode() + (FEngine->FileFilter.Regular() ? 8 : 0);
    c.Filter = FEngine->FileFilter.GetFilter();
    c.ZipDir = rbZipDir->isChecked();
    c.LastZipArchive = StdStr(edZipArchive->currentText());
    std::string error;
    if (!WriteRestoreConfig(FIniName, c, FVersion, error))
        ErrorDialog(error);
    SaveHistoryCombo(FIniName, "Source", true, edFolder, HistoryMax, false);
    SaveHistoryCombo(FIniName, "ZipArchives", true, edZipArchive, HistoryMax, false);
    SaveHistoryCombo(FIniName, "Destination", true, cbTarget, HistoryMax, false);
    DeleteFiles(FEngine->QvTempDir, "*");
}

// ---- showing and closing

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    GuardSlot([this] {
        SetMode(FRMode == 2 && IsInZipArchive(FSource) ? 1 : FRMode);
        ShowFolder(FSource);
        // the names of the command line are selected once the folder is read
        if (!FFileList.empty())
            connect(FFileModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
                GuardSlot([this, path] {
                    if (FFileList.empty() || StdStr(path) != WithoutSlash(FSource))
                        return;
                    for (const auto& name : FFileList) {
                        QModelIndex idx = FFileModel->index(QStr(AddPathDelimiter(FSource) + name));
                        if (idx.isValid()) {
                            fShellListView->selectionModel()->select(idx, QItemSelectionModel::Select |
                                                                              QItemSelectionModel::Rows);
                            fShellListView->scrollTo(idx);
                        }
                    }
                    FFileList.clear();
                });
            });
        if (FZipMode) {
            ShowZipPage(true);
            if (!ListArchive())
                bbArchiveClick();
        }
        UpdateCaption();
    });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (FEngine->Restoring()) {
        FEngine->Stop();
    }
    GuardSlot([this] { SaveSettings(); });
    event->accept();
}

void TMainForm::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && (event->key() == Qt::Key_A || event->key() == Qt::Key_N)) {
        const bool value = event->key() == Qt::Key_A;
        if (ZipPageShown())
            SelectAllEntries(value);
        else
            SelectAllFiles(value);
        return;
    }
    if (event->key() == Qt::Key_F5) {
        GuardSlot([this] {
            if (ZipPageShown())
                ListArchive();
            else
                ShowFolder(StdStr(edFolder->currentText()));
        });
        return;
    }
    if (event->key() == Qt::Key_F1) {
        bbHelp->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // a click on the check picture, or Space, toggles the file or the folder
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == tvFiles->viewport() || watched == lvFiles->viewport())) {
        auto* me = static_cast<QMouseEvent*>(event);
        auto* view = watched == tvFiles->viewport() ? tvFiles : lvFiles;
        QTreeWidgetItem* item = view->itemAt(me->position().toPoint());
        if (item && me->button() == Qt::LeftButton) {
            const QRect r = view->visualItemRect(item);
            if (me->position().toPoint().x() - r.left() < 22) {
                GuardSlot([this, view, item] {
                    if (view == lvFiles)
                        ToggleFileSelection(lvFiles->indexOfTopLevelItem(item));
                    else
                        ToggleFolderSelection(item);
                });
                return true;
            }
        }
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier &&
        (watched == tvFiles || watched == lvFiles)) {
        GuardSlot([this, watched] {
            if (watched == lvFiles && lvFiles->currentItem())
                ToggleFileSelection(lvFiles->indexOfTopLevelItem(lvFiles->currentItem()));
            else if (watched == tvFiles && tvFiles->currentItem())
                ToggleFolderSelection(tvFiles->currentItem());
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TMainForm::ZipPageShown() const
{
    return pcPages->currentWidget() == tsZip;
}

void TMainForm::ShowZipPage(bool zip)
{
    pcPages->setCurrentWidget(zip ? tsZip : tsDirectories);
    (zip ? bbZipMode : bbDirMode)->setChecked(true);
    cbCreationTime->setVisible(!zip && paUnpack->isVisible());
    UpdateCaption();
}

void TMainForm::UpdateCaption()
{
    const std::string caption =
        std::string(ZipPageShown() ? _("Restore files from zip archive") : _("Restore files from backup")) +
        " - 64-bit (" + FVersion + ")";
    setWindowTitle(QStr(caption));
    FEngine->Caption = caption;
}

// ---- directory page

void TMainForm::ShowFolder(const std::string& Path)
{
    std::string path = WithoutSlash(Path);
    if (!IsInZipArchive(path))
        path = GetExistingDir(path.empty() ? FUserPath : path, WithoutSlash(FUserPath));
    const QModelIndex idx = FDirModel->index(QStr(path));
    if (idx.isValid()) {
        fShellTreeView->setCurrentIndex(idx);
        fShellTreeView->scrollTo(idx);
    }
    edFolder->setCurrentText(QStr(path));
    if (EngineFs::DirectoryExists(path)) {
        FFileModel->setRootPath(QStr(path));
        fShellListView->setRootIndex(FFileModel->index(QStr(path)));
    } else {
        fShellListView->setRootIndex(FFileModel->index(QString()));
    }
    UpdateUnpackPanel();
}

void TMainForm::UpdateUnpackPanel()
{
    const std::string folder = StdStr(edFolder->currentText());
    const bool inZip = IsInZipArchive(folder);
    paUnpack->setVisible(rbSched->isChecked() || !inZip);
    cbCreationTime->setVisible(!ZipPageShown() && paUnpack->isVisible());
    const bool files = rbFiles->isChecked();
    btOpen->setVisible(files);
    btAllFiles->setVisible(files);
    btNoFiles->setVisible(files);
}

void TMainForm::fShellTreeViewClick()
{
    const std::string path = StdStr(FDirModel->filePath(fShellTreeView->currentIndex()));
    edFolder->setCurrentText(QStr(path));
    FFileModel->setRootPath(QStr(path));
    fShellListView->setRootIndex(FFileModel->index(QStr(path)));
    if (!IsInZipArchive(path))
        GzUnPackCB->setChecked(FileMatchesInFolder(path, ".gz") || FileMatchesInFolder(path, ".gze"));
    UpdateUnpackPanel();
}

void TMainForm::SetMode(int mode)
{
    if (mode == 2 && IsInZipArchive(StdStr(edFolder->currentText()))) {
        ShowError(_("Zip archives are not supported to restore files from schedule!"));
        mode = 1;
    }
    FRMode = mode;
    (mode == 1 ? rbDirs : mode == 2 ? rbSched : rbFiles)->setChecked(true);
    pcSource->setCurrentWidget(mode == 1 ? tsDir : mode == 2 ? tsSched : tsFiles);
    UpdateUnpackPanel();
}

void TMainForm::SetBakMode(int mode)
{
    FEngine->Options.BakMode = mode == 1 ? bmExclude : mode == 2 ? bmInclude : bmIgnore;
    (mode == 1 ? rbBakExclude : mode == 2 ? rbBakUse : rbBakIgnore)->setChecked(true);
    edtBakSuffix->setEnabled(mode == 1 || mode == 2);
    dtpBakDate->setEnabled(mode == 2);
    bbBakToday->setEnabled(mode == 2);
}

void TMainForm::ShowFilterText()
{
    const TTextFilter& f = FEngine->FileFilter;
    std::string text;
    switch (f.Mode()) {
    case fmOff:
        text = _("All files");
        break;
    case fmInclude:
        text = SafeFormat(_("only %s"), {f.GetFilter()});
        break;
    default:
        text = SafeFormat(_("all except %s"), {f.GetFilter()});
        break;
    }
    if (f.Regular() && f.Mode() != fmOff)
        text += " (" + std::string(_("As regular expression")) + ")";
    edDFileFilter->setText(QStr(text));
    edSFileFilter->setText(QStr(text));
}

void TMainForm::SelectAllFiles(bool value)
{
    if (value)
        fShellListView->selectAll();
    else
        fShellListView->clearSelection();
}

void TMainForm::bbFilterClick()
{
    if (EditTextFilterAt(GetBottomLeftPos(bbFilter), _("Filter for filenames"), _("Restore files"), true,
                         true, FEngine->FileFilter))
        ShowFilterText();
}

void TMainForm::ApplyOptions()
{
    TRestoreOptions& o = FEngine->Options;
    o.Overwrite = rbOverwriteAll->isChecked() ? omAlways : rbOverwriteNone->isChecked() ? omNever : omOlder;
    o.Protected = cbProtected->isChecked();
    o.ResetArchive = cbResArchive->isChecked();
    o.CreationTime = cbCreationTime->isChecked();
    o.GzUnpack = GzUnPackCB->isChecked();
    o.ZipUnpack = ZipUnpackCB->isChecked();
    o.SubDirs = cbSubdirs->isChecked();
    o.EmptyDirs = cbEmptyDirs->isChecked();
    o.BakSuffix = StdStr(edtBakSuffix->text());
    o.BakDate = DateOf(dtpBakDate);
    o.SubDirMask = StdStr(edDirFilter->text());
    if (o.SubDirMask.empty())
        o.SubDirMask = "*.*";
    o.DriveId = StdStr(edDriveId->text());
    o.RestoreDate = DateOf(dtpRest);
    o.ZipDirMode = rbZipDir->isChecked();
}

void TMainForm::bbPreviewDirClick()
{
    ApplyOptions();
    TStringList lines;
    std::string summary;
    const std::string folder = StdStr(edFolder->currentText());
    if (FEngine->PreviewDirectory(folder, lines, summary))
        ShowPreview(_("Files selected for restore"), folder, summary, !cbEmptyDirs->isChecked(), lines);
}

void TMainForm::bbPreviewSchedClick()
{
    ApplyOptions();
    FEngine->ScanScheduleBackups(StdStr(edFolder->currentText()), true);
}

void TMainForm::btnTimeSettingsClick()
{
    ShowTimeCompareDialog(GetBottomLeftPos(btnTimeSettings), FEngine->Options.DeltaTime,
                          FEngine->Options.DstIgnore);
}

void TMainForm::btDestClick()
{
    std::string dir = StdStr(cbTarget->currentText());
    if (SelectFolder(_("Select destination directory"), false, false, dir, dir))
        AddToHistoryCombo(cbTarget, WithoutSlash(dir));
}

void TMainForm::btOpenClick()
{
    const QModelIndexList rows = fShellListView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const std::string item = StdStr(FFileModel->filePath(rows.front()));
    std::string name;
    ApplyOptions();
    const int result = FEngine->OpenFile(item, name);
    if (result != 0)
        return;
    if (!EngineFs::Exists(name, true))
        ShowError(SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {name}));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QStr(name))))
        ShowError(_("File name association not found or invalid!"));
}

// ---- the run

void TMainForm::SetRestoring(bool active)
{
    btPause->setText(TrQ("Pause"));
    btPause->setEnabled(active);
    btOpen->setEnabled(!active);
    btRestore->setText(active ? TrQ("Stop") : TrQ("Restore"));
}

void TMainForm::btRestoreClick()
{
    if (FEngine->Restoring()) {
        FEngine->Stop();
        return;
    }
    ApplyOptions();
    FEngine->StartLog(Now());
    SetRestoring(true);
    std::string target = StdStr(cbTarget->currentText());
    AddToHistoryCombo(cbTarget, WithoutSlash(target));
    FEngine->Target = WithoutSlash(target);
    if (ZipPageShown()) {
        AddToHistoryCombo(edZipArchive, StdStr(edZipArchive->currentText()));
        bbDirMode->setEnabled(false);
        FEngine->RestoreFromZip();
    } else {
        const std::string folder = WithoutSlash(StdStr(edFolder->currentText()));
        AddToHistoryCombo(edFolder, folder);
        bbZipMode->setEnabled(false);
        if (rbFiles->isChecked()) {
            std::vector<std::string> names;
            for (const QModelIndex& idx : fShellListView->selectionModel()->selectedRows())
                names.push_back(StdStr(FFileModel->fileName(idx)));
            FEngine->RestoreSelectedFiles(folder, names);
        } else if (rbDirs->isChecked()) {
            FEngine->RestoreDirectory(folder);
        } else {
            FEngine->ScanScheduleBackups(folder, false);
        }
    }
    if (!FEngine->SaveLog(FLogName))
        ShowError(SafeFormat(_("Error writing to \"%s\""), {FLogName}));
    FEngine->SetRestoring(false);
    SetRestoring(false);
    laFile->clear();
    pbProgress->setValue(0);
    bbDirMode->setEnabled(true);
    bbZipMode->setEnabled(true);
}

void TMainForm::btPauseClick()
{
    const bool paused = !FEngine->Paused();
    FEngine->SetPaused(paused);
    btPause->setText(paused ? TrQ("Continue") : TrQ("Pause"));
}

void TMainForm::btLogClick()
{
    if (!EngineFs::Exists(FLogName, true)) {
        ErrorDialogAt(GetBottomLeftPos(btLog), std::string(_("Log file not found: ")) + FLogName);
        return;
    }
    TPrinterSettings prt;
    InitPrinterSettings(prt);
    ShowTextFile(FEngine->Caption, FLogName, _("Previous section"), _("Next section"), "QvRestore",
                 _("Previous error"), _("Next error"), "  *** ",
                 SafeFormat(_("Log files|*.%s|all|*.*"), {"log"}), IgnoreSavedPos, 0, stShow,
                 ShowDlgButton(sbOpen) | ShowDlgButton(sbPrint) | ShowDlgButton(sbSearch) |
                     ShowDlgButton(sbSection) | ShowDlgButton(sbError) | ShowDlgButton(sbCodepage),
                 prt, 0);
}

void TMainForm::btInfoClick()
{
    InfoDialogAt(GetTopLeftPosOfs(btInfo, QPoint(30, 0)),
                 "QvRestore - " + FVersion + "\r\n" + _("Restore files from backups of Vastrel"));
}

void TMainForm::btOptionsClick()
{
    const TModalResult answer = ConfirmYesNoDialogAt(GetBottomLeftPos(btOptions),
                                                     _("Associate this program with the gz, gze and enc file "
                                                       "extensions\r\nto open packed and encrypted files "
                                                       "created by Vastrel by double-click?"));
    if (answer == mrYes || answer == mrNo) {
        const std::string apps = AddPathDelimiter(XdgDataHome()) + "applications";
        if (!SetFileAssociations(answer == mrYes, apps, StdStr(QApplication::applicationFilePath())))
            ShowError(_("The file associations could not be changed!"));
    }
}

// ---- host of the engine

TPromptResult TMainForm::AskPassword(const std::string& prompt, bool skip, std::string& pwd)
{
    const TModalResult r = AskPasswordCentered(FEngine->Caption, prompt, skip, pwd);
    return r == mrOk ? prOk : r == mrYes ? prSkip : prCancel;
}

bool TMainForm::Confirm(const std::string& text)
{
    return ConfirmDialogAt(GetTopLeftPos(paUnpack), text);
}

void TMainForm::ShowError(const std::string& text)
{
    ErrorDialog(text);
}

void TMainForm::ShowInfo(const std::string& text)
{
    InfoDialogAt(GetTopLeftPos(ZipPageShown() ? static_cast<QWidget*>(lvFiles) : laFile), text);
}

void TMainForm::ShowDetails(const std::string& info, const TStringList& details)
{
    ShowDetailInfo(GetTopLeftPos(laFile), FEngine->Caption, info, details, iiError);
}

void TMainForm::ShowFileLabel(const std::string& text)
{
    laFile->setText(QStr(text));
}

void TMainForm::ShowCountLabel(const std::string& text)
{
    laCount->setText(QStr(text));
}

void TMainForm::ShowProgress(int percent)
{
    if (percent == -1) {
        pbProgress->setRange(0, 0);
    } else if (percent == -2) {
        pbProgress->setRange(0, 100);
    } else {
        pbProgress->setRange(0, 100);
        pbProgress->setValue(std::clamp(percent, 0, 100));
    }
}

void TMainForm::ProcessMessages()
{
    QApplication::processEvents();
}

void TMainForm::StatusOpen(const std::string& title)
{
    StatusWindow()->Stopped = false;
    StatusWindow()->ShowStatus(GetTopLeftPos(laFile), title, "", true, 50);
}

void TMainForm::StatusText(const std::string& line1, const std::string& line2)
{
    if (!line1.empty())
        StatusWindow()->SetStatus(line1);
    if (!line2.empty())
        StatusWindow()->SetInfo(line2);
    QApplication::processEvents();
}

bool TMainForm::StatusCancelled()
{
    return StatusWindow()->Stopped;
}

void TMainForm::StatusClose()
{
    StatusWindow()->hide();
}

void TMainForm::ShowPreview(const std::string& title, const std::string& base, const std::string& hint,
                            bool notEmptyOnly, const TStringList& lines)
{
    ShowFilePreview(title, base, hint, notEmptyOnly ? PreviewOption(poNotEmpty) : 0, lines);
}

// ---- zip page

bool TMainForm::ListArchive()
{
    ApplyOptions();
    const std::string name = StdStr(edZipArchive->currentText());
    if (name.empty() || (name.find('*') == std::string::npos && !EngineFs::Exists(name, true)))
        return false;
    if (!FEngine->ScanZipArchive(name))
        return false;
    BuildFolderTree();
    return true;
}

void TMainForm::bbArchiveClick()
{
    const bool dirMode = rbZipDir->isChecked();
    std::string dir = EngineFs::ExtractFilePath(StdStr(edZipArchive->currentText()));
    if (dir.empty())
        dir = FSource.empty() ? FUserPath : FSource;
    const QString file = QFileDialog::getOpenFileName(
        this,
        dirMode ? TrQ("Select zip archive in root folder for restore")
                : TrQ("Select zip archive for restore"),
        QStr(dir), TrQ("Zip archives") + QStringLiteral(" (*.zip);;") + TrQ("all") + QStringLiteral(" (*)"));
    if (file.isEmpty()) {
        return;
    }
    AddToHistoryCombo(edZipArchive, StdStr(file));
    ListArchive();
}

void TMainForm::btZipOpenClick()
{
    QTreeWidgetItem* item = lvFiles->currentItem();
    if (!item)
        return;
    std::string name;
    if (FEngine->ExtractZipEntryToTemp(item->data(0, RoleIndex).toInt(), name) &&
        !QDesktopServices::openUrl(QUrl::fromLocalFile(QStr(name))))
        ShowError(_("File name association not found or invalid!"));
}

std::pair<int, int> TMainForm::FolderRange(int Index) const
{
    const TFileTransferList& list = FEngine->ZipFileList;
    int end = Index + 1;
    while (end < list.Count() && !IsDirEntry(list.FileType(end), true))
        ++end;
    return {Index + 1, end};
}

int TMainForm::NodeState(const QTreeWidgetItem* Node) const
{
    return Node->data(0, Qt::UserRole + 2).toInt();
}

void TMainForm::SetNodeState(QTreeWidgetItem* Node, int State)
{
    Node->setData(0, Qt::UserRole + 2, State);
    Node->setIcon(0, StateIcon(State));
    const int index = Node->data(0, RoleIndex).toInt() - 1;
    if (index >= 0)
        FEngine->ZipFileList.SetSelected(index, State != 0);
}

QTreeWidgetItem* TMainForm::NodeOfPath(const std::string& Path, const std::string& RootDir)
{
    std::string rel = Path;
    if (!RootDir.empty() && IsSubPath(RootDir, Path))
        rel = MakeRelativePath(RootDir, Path);
    if (rel.starts_with("./"))
        rel.erase(0, 2);
    QTreeWidgetItem* node = tvFiles->topLevelItem(tvFiles->topLevelItemCount() - 1);
    if (!node)
        return nullptr;
    size_t i = 0;
    while (i < rel.size()) {
        size_t j = rel.find('/', i);
        if (j == std::string::npos)
            j = rel.size();
        const std::string part = rel.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        QTreeWidgetItem* found = nullptr;
        for (int c = 0; c < node->childCount() && !found; ++c)
            if (utf8::SameText(StdStr(node->child(c)->data(0, RoleName).toString()), part))
                found = node->child(c);
        if (!found) {
            found = new QTreeWidgetItem(node);
            found->setText(0, QStr(part));
            found->setData(0, RoleName, QStr(part));
        }
        node = found;
    }
    return node;
}

void TMainForm::BuildFolderTree()
{
    const TFileTransferList& list = FEngine->ZipFileList;
    tvFiles->blockSignals(true);
    tvFiles->clear();
    lvFiles->clear();
    FRootDir.clear();
    int dirs = 0;
    for (int i = 0; i < list.Count(); ++i)
        dirs += IsDirEntry(list.FileType(i), true) ? 1 : 0;
    FShowCounts = dirs < 5001;
    std::vector<std::pair<QTreeWidgetItem*, int>> counts;
    for (int i = 0; i < list.Count(); ++i) {
        const TFileType t = list.FileType(i);
        if (t == ftRoot) {
            FRootDir = list.Items(i).FSource;
            auto* root = new QTreeWidgetItem(tvFiles);
            root->setText(0, QStr(list.Strings(i)));
            root->setData(0, RoleName, QStr(list.Strings(i)));
        } else if (t == ftDir || t == ftEmpty) {
            QTreeWidgetItem* node = NodeOfPath(list.Items(i).FSource, FRootDir);
            if (!node)
                continue;
            node->setData(0, RoleIndex, i + 1);
            auto [from, to] = FolderRange(i);
            int n = 0;
            for (int k = from; k < to; ++k)
                n += IsFileEntry(list.FileType(k)) ? 1 : 0;
            counts.emplace_back(node, n);
        }
    }
    std::function<int(QTreeWidgetItem*)> total = [&](QTreeWidgetItem* node) {
        int own = 0;
        for (auto& [n, c] : counts)
            if (n == node)
                own += c;
        int below = 0;
        for (int c = 0; c < node->childCount(); ++c)
            below += total(node->child(c));
        if (FShowCounts) {
            const QString name = node->data(0, RoleName).toString();
            node->setText(0, node->childCount() == 0 ? name + QStringLiteral(" (%1)").arg(own)
                                                     : name + QStringLiteral(" (%1+%2)").arg(own).arg(below));
        }
        SetNodeState(node, 1);
        return own + below;
    };
    for (int t = 0; t < tvFiles->topLevelItemCount(); ++t)
        total(tvFiles->topLevelItem(t));
    // the selection the listing made (newest versions) shows in the folders
    std::function<void(QTreeWidgetItem*)> refresh = [&](QTreeWidgetItem* node) {
        for (int c = 0; c < node->childCount(); ++c)
            refresh(node->child(c));
        UpdateFolderState(node);
    };
    for (int t = 0; t < tvFiles->topLevelItemCount(); ++t)
        refresh(tvFiles->topLevelItem(t));
    tvFiles->blockSignals(false);
    tvFiles->expandToDepth(0);
    if (tvFiles->topLevelItemCount() > 0)
        tvFiles->setCurrentItem(tvFiles->topLevelItem(0));
    FillFileList();
    ShowSelectionCount();
}

int TMainForm::GetFolderSelection(int Index) const
{
    const TFileTransferList& list = FEngine->ZipFileList;
    auto [from, to] = FolderRange(Index);
    int files = 0, selected = 0;
    for (int k = from; k < to; ++k)
        if (IsFileEntry(list.FileType(k))) {
            ++files;
            selected += list.Selected(k) ? 1 : 0;
        }
    return selected == files ? 1 : selected > 0 ? 2 : 0;
}

void TMainForm::UpdateFolderState(QTreeWidgetItem* Node)
{
    for (; Node; Node = Node->parent()) {
        bool allOne = true, noneSelected = true;
        for (int c = 0; c < Node->childCount(); ++c) {
            const int s = NodeState(Node->child(c));
            allOne = allOne && s == 1;
            noneSelected = noneSelected && s == 0;
        }
        const int index = Node->data(0, RoleIndex).toInt() - 1;
        // a listing keeps empty folders: a folder without selected files stays partly selected
        const int m = index >= 0 ? GetFolderSelection(index) : 1;
        const int state = (allOne && m == 1) ? 1 : 2;
        SetNodeState(Node, state);
    }
}

void TMainForm::FillFileList()
{
    lvFiles->clear();
    FFileIndex.clear();
    QTreeWidgetItem* node = tvFiles->currentItem();
    if (!node)
        return;
    const int index = node->data(0, RoleIndex).toInt() - 1;
    if (index >= 0) {
        auto [from, to] = FolderRange(index);
        for (int k = from; k < to; ++k)
            if (IsFileEntry(FEngine->ZipFileList.FileType(k)))
                FFileIndex.push_back(k);
    }
    FUFileIndex = FFileIndex;
    FColumn = 0;
    FReverse = false;
    lvFiles->header()->setSortIndicator(0, Qt::AscendingOrder);
    SortFileList(-1);
}

void TMainForm::SortFileList(int Column)
{
    const TFileTransferList& list = FEngine->ZipFileList;
    if (Column >= 0) {
        if (FFileIndex.empty())
            return;
        FReverse = Column == FColumn ? !FReverse : false;
        FColumn = Column;
        FFileIndex = FUFileIndex;
        std::stable_sort(FFileIndex.begin(), FFileIndex.end(), [&](int a, int b) {
            const auto& x = list.Items(a);
            const auto& y = list.Items(b);
            bool less;
            if (FColumn == 1)
                less = FReverse ? x.FTimeStamp > y.FTimeStamp : x.FTimeStamp < y.FTimeStamp;
            else if (FColumn == 2)
                less = FReverse ? x.USize > y.USize : x.USize < y.USize;
            else {
                const int c = utf8::CompareText(list.Strings(a), list.Strings(b));
                less = FReverse ? c > 0 : c < 0;
            }
            return less;
        });
        lvFiles->header()->setSortIndicator(FColumn, FReverse ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    lvFiles->clear();
    for (int k : FFileIndex) {
        const auto& e = list.Items(k);
        auto* item = new QTreeWidgetItem(lvFiles);
        item->setText(0, QStr(list.Strings(k)));
        item->setData(0, RoleIndex, k);
        item->setIcon(0, StateIcon(e.IsSelected ? 1 : 0));
        item->setData(0, Qt::UserRole + 2, e.IsSelected ? 1 : 0);
        TDateTime t = e.FTimeStamp;
        item->setText(1, t > 0 ? QStr(FormatDateTime("c", t)) : QStringLiteral("???"));
        item->setText(2, QStr(FormatSize(false, e.USize)));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        if (e.Encrypted)
            item->setToolTip(0, TrQ("encrypted"));
    }
}

void TMainForm::ToggleFileSelection(int Row)
{
    if (Row < 0 || Row >= static_cast<int>(FFileIndex.size()))
        return;
    const int index = FFileIndex[static_cast<size_t>(Row)];
    TFileTransferList& list = FEngine->ZipFileList;
    list.SetSelected(index, !list.Selected(index));
    lvFiles->topLevelItem(Row)->setIcon(0, StateIcon(list.Selected(index) ? 1 : 0));
    lvFiles->topLevelItem(Row)->setData(0, Qt::UserRole + 2, list.Selected(index) ? 1 : 0);
    QTreeWidgetItem* node = tvFiles->currentItem();
    if (node) {
        int selected = 0;
        for (int k : FFileIndex)
            selected += list.Selected(k) ? 1 : 0;
        int state = selected == 0 ? 2 : selected == static_cast<int>(FFileIndex.size()) ? 1 : 2;
        if (state == 1 && node->childCount() > 0) {
            for (int c = 0; c < node->childCount(); ++c)
                if (NodeState(node->child(c)) != 1)
                    state = 2;
        }
        SetNodeState(node, state);
        UpdateFolderState(node->parent());
    }
    ShowSelectionCount();
}

void TMainForm::ToggleFolderSelection(QTreeWidgetItem* Node)
{
    const bool value = NodeState(Node) != 1;
    if (!FShowCounts && Node->childCount() > 0) {
        InfoDialog(
            _("Since there are too many subdirectories\r\nonly selection of the lowest branch is possible!"));
        SetNodeState(Node, NodeState(Node));
        return;
    }
    std::function<void(QTreeWidgetItem*)> apply = [&](QTreeWidgetItem* n) {
        const int index = n->data(0, RoleIndex).toInt() - 1;
        if (index >= 0) {
            auto [from, to] = FolderRange(index);
            for (int k = from; k < to; ++k)
                if (IsFileEntry(FEngine->ZipFileList.FileType(k)))
                    FEngine->ZipFileList.SetSelected(k, value);
        }
        SetNodeState(n, value ? 1 : 0);
        for (int c = 0; c < n->childCount(); ++c)
            apply(n->child(c));
    };
    tvFiles->blockSignals(true);
    apply(Node);
    UpdateFolderState(Node->parent());
    tvFiles->blockSignals(false);
    tvFiles->setCurrentItem(Node);
    FillFileList();
    ShowSelectionCount();
}

void TMainForm::SelectAllEntries(bool Value)
{
    TFileTransferList& list = FEngine->ZipFileList;
    for (int i = 0; i < list.Count(); ++i)
        if (IsFileEntry(list.FileType(i)) || IsDirEntry(list.FileType(i), true))
            list.SetSelected(i, Value);
    std::function<void(QTreeWidgetItem*)> apply = [&](QTreeWidgetItem* n) {
        SetNodeState(n, Value ? 1 : 0);
        for (int c = 0; c < n->childCount(); ++c)
            apply(n->child(c));
    };
    tvFiles->blockSignals(true);
    for (int t = 0; t < tvFiles->topLevelItemCount(); ++t)
        apply(tvFiles->topLevelItem(t));
    tvFiles->blockSignals(false);
    FillFileList();
    ShowSelectionCount();
}

void TMainForm::ShowSelectionCount()
{
    const TFileTransferList& list = FEngine->ZipFileList;
    int count = 0;
    int64_t size = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (IsFileEntry(list.FileType(i)) && list.Selected(i)) {
            ++count;
            size += list.Items(i).USize;
        }
    FSelectCount = count;
    std::string text = count == 0   ? std::string(_("No files selected!"))
                       : count == 1 ? std::string(_("1 file selected"))
                                    : SafeFormat("%u ", {count}) + _("files selected");
    if (count > 0)
        text += " (" + FormatSize(false, size) + ")";
    laSelCount->setText(QStr(text));
}

// ---- file associations

bool SetFileAssociations(bool Associate, const std::string& ApplicationsDir, const std::string& ProgramPath)
{
    const std::string desktop = AddPathDelimiter(ApplicationsDir) + "QvRestore.desktop";
    const std::string mimes = "application/gzip;application/x-vastrel-gze;application/x-vastrel-enc;";
    if (Associate) {
        XlForceDirectories(ApplicationsDir);
        const std::string text =
            "[Desktop Entry]\nType=Application\nName=QvRestore\nComment=" +
            std::string(_("Restore files from backup")) + "\nExec=\"" + ProgramPath +
            "\" %f\nIcon=vastrel\nTerminal=false\nCategories=Utility;Archiving;\nMimeType=" + mimes + "\n";
        if (ReplaceFileContents(desktop, text) != 0)
            return false;
        try {
            // where xdg-mime is present, the program becomes the default for the three types
            TProcessHandle h = StartProcess({"xdg-mime", "default", "QvRestore.desktop", "application/gzip",
                                             "application/x-vastrel-gze", "application/x-vastrel-enc"},
                                            "");
            WaitForProcess(h, 10000, false);
        } catch (const std::exception&) {
        }
        return true;
    }
    return !EngineFs::Exists(desktop, false) || EngineFs::DeleteFile(desktop) == 0;
}
