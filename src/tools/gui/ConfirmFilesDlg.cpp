#include "tools/gui/ConfirmFilesDlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "archive/EngineFs.h"
#include "backup/gui/ProgressSink.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/Masks.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinExecute.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/DateTime.h"
#include "tools/gui/ViewFile.h"

namespace {

constexpr int NodeDataRole = Qt::UserRole;      // directory entry's list index + 1 (0: none)
constexpr int NodeStateRole = Qt::UserRole + 1; // TNodeState
constexpr int NodeNameRole = Qt::UserRole + 2;  // the folder name without counts
constexpr int NodeOwnRole = Qt::UserRole + 3;   // own file count
constexpr int MaxCountedDirs = 5000;

const char* const IniSection = "Utilities";

// A check box in the given state, drawn in the colours of the current palette so that it reads in the
// light and the dark style alike.
QPixmap CheckPixmap(QStyle::StateFlag state)
{
    const QPalette pal = QApplication::palette();
    const int size = 16;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor frame = pal.color(QPalette::Text);
    frame.setAlpha(160);
    p.setPen(QPen(frame, 1));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
    const QColor mark = pal.color(QPalette::Highlight);
    if (state == QStyle::State_On) {
        p.setPen(QPen(mark, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
    } else if (state == QStyle::State_NoChange) {
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawRect(QRectF(4.5, 4.5, 7, 7));
    }
    return pm;
}

// The kind of an entry: 0 file, 1 link, 2 compressed, 3 encrypted, 4 compressed and encrypted,
// 5 directory, 6 error.
QPixmap KindPixmap(int kind)
{
    QStyle* style = QApplication::style();
    const int size = 16;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QStyle::StandardPixmap base = QStyle::SP_FileIcon;
    if (kind == 1)
        base = QStyle::SP_FileLinkIcon;
    else if (kind == 5)
        base = QStyle::SP_DirIcon;
    else if (kind == 6)
        base = QStyle::SP_MessageBoxCritical;
    p.drawPixmap(0, 0, style->standardIcon(base).pixmap(size, size));
    auto badge = [&](const QRect& r, const QColor& c, const QString& letter) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(r, 2, 2);
        QFont f = p.font();
        f.setPixelSize(8);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, letter);
    };
    if (kind == 2 || kind == 4)
        badge(QRect(0, 8, 8, 8), QColor(30, 110, 200), QStringLiteral("Z"));
    if (kind == 3 || kind == 4)
        badge(QRect(8, 8, 8, 8), QColor(210, 120, 0), QStringLiteral("E"));
    return pm;
}

QPixmap Join(const QPixmap& a, const QPixmap& b)
{
    QPixmap pm(a.width() + 2 + b.width(), std::max(a.height(), b.height()));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.drawPixmap(0, 0, a);
    p.drawPixmap(a.width() + 2, 0, b);
    return pm;
}

// Ordinal order that ignores the case of the letters A to Z only.
int CompareNames(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// --- the rows of the file list

TConfirmFilesModel::TConfirmFilesModel(QObject* parent) : QAbstractTableModel(parent)
{
    MakeImages();
}

void TConfirmFilesModel::MakeImages()
{
    FImages.clear();
    const QPixmap off = CheckPixmap(QStyle::State_Off);
    const QPixmap on = CheckPixmap(QStyle::State_On);
    for (int kind = 0; kind < 7; ++kind) {
        const QPixmap k = KindPixmap(kind);
        FImages.push_back(Join(off, k));
        FImages.push_back(Join(on, k));
    }
}

int TConfirmFilesModel::StateImage(const TFileTransferInfo& e)
{
    int kind = 0;
    if (e.FType == ftError)
        kind = 6;
    else if (IsDirEntry(e.FType, true))
        kind = 5;
    else if (e.FType == ftLink)
        kind = 1;
    else if (e.Compressed && e.Encrypted)
        kind = 4;
    else if (e.Encrypted)
        kind = 3;
    else if (e.Compressed)
        kind = 2;
    return 2 * kind + (e.IsSelected && e.FType != ftError ? 1 : 0);
}

int TConfirmFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(Shown.size());
}

int TConfirmFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant TConfirmFilesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !List || index.row() >= static_cast<int>(Shown.size()))
        return {};
    const int li = Shown[static_cast<size_t>(index.row())];
    const TFileTransferInfo& e = List->Items(li);
    const bool error = e.FType == ftError;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return QStr(List->Strings(li));
        if (error)
            return {};
        if (index.column() == 1) {
            try {
                return QStr(DateTimeToStr(e.FTimeStamp));
            } catch (const std::exception&) {
                return QStringLiteral("???");
            }
        }
        if (DirMode)
            return {};
        return QStr(FormatSize(false, ShownSize(e)));
    case Qt::DecorationRole:
        if (index.column() == 0)
            return FImages[static_cast<size_t>(StateImage(e))];
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == 2)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ToolTipRole:
        if (RestoreMode && e.FType == ftFile)
            return TrQ("Restore to: ") + QStr(e.FDest);
        return {};
    case Qt::ForegroundRole:
        if (error)
            return IsStyleActive() ? QColor(255, 110, 110) : QColor(200, 0, 0);
        return {};
    case Qt::AccessibleDescriptionRole:
        return e.IsSelected ? TrQ("selected") : TrQ("not selected");
    default:
        return {};
    }
}

QVariant TConfirmFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return TrQ("Name");
        case 1:
            return TrQ("Date");
        default:
            return DirMode ? QString() : TrQ("Size");
        }
    }
    if (role == Qt::DecorationRole && section == SortColumn) {
        return QApplication::style()->standardIcon(Reverse ? QStyle::SP_ArrowDown : QStyle::SP_ArrowUp);
    }
    return {};
}

void TConfirmFilesModel::Reset()
{
    beginResetModel();
    endResetModel();
}

void TConfirmFilesModel::RowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, 2));
}

// --- the dialog

TConfirmFiles::TConfirmFiles(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ConfirmFiles"));
    setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    auto* sourceRow = new QHBoxLayout;
    lblSource = new QLabel(this);
    lblSource->setObjectName(QStringLiteral("lblSource"));
    laSource = new QLabel(this);
    laSource->setObjectName(QStringLiteral("laSource"));
    QFont bold = laSource->font();
    bold.setBold(true);
    laSource->setFont(bold);
    laSource->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sourceRow->addWidget(lblSource);
    sourceRow->addWidget(laSource, 1);
    layout->addLayout(sourceRow);
    laDest = new QLabel(this);
    laDest->setObjectName(QStringLiteral("laDest"));
    layout->addWidget(laDest);
    laNotes = new QLabel(this);
    laNotes->setObjectName(QStringLiteral("laNotes"));
    laNotes->setWordWrap(true);
    layout->addWidget(laNotes);

    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setChildrenCollapsible(false);
    pnLeft = new QWidget(Splitter);
    pnLeft->setObjectName(QStringLiteral("pnLeft"));
    auto* leftLayout = new QVBoxLayout(pnLeft);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    tvDirs = new QTreeWidget(pnLeft);
    tvDirs->setObjectName(QStringLiteral("tvDirs"));
    tvDirs->setHeaderHidden(true);
    tvDirs->setColumnCount(1);
    tvDirs->setUniformRowHeights(true);
    tvDirs->setIconSize(QSize(16, 16));
    tvDirs->viewport()->installEventFilter(this);
    tvDirs->installEventFilter(this);
    leftLayout->addWidget(tvDirs, 1);

    pnSearch = new QWidget(pnLeft);
    pnSearch->setObjectName(QStringLiteral("pnSearch"));
    auto* searchLayout = new QVBoxLayout(pnSearch);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    auto* searchRow = new QHBoxLayout;
    edSearch = new QLineEdit(pnSearch);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setToolTip(TrQ("Wildcards * and ? are allowed"));
    edSearch->setPlaceholderText(TrQ("Search"));
    edSearch->installEventFilter(this);
    rbDirs = new QRadioButton(TrQ("Directory"), pnSearch);
    rbDirs->setObjectName(QStringLiteral("rbDirs"));
    rbFiles = new QRadioButton(TrQ("File"), pnSearch);
    rbFiles->setObjectName(QStringLiteral("rbFiles"));
    rbFiles->setChecked(true);
    auto* group = new QButtonGroup(pnSearch);
    group->addButton(rbDirs);
    group->addButton(rbFiles);
    searchRow->addWidget(edSearch, 1);
    searchRow->addWidget(rbDirs);
    searchRow->addWidget(rbFiles);
    searchLayout->addLayout(searchRow);
    auto* buttonRow = new QHBoxLayout;
    auto makeButton = [&](const char* name, const char* text, const char* hint) {
        auto* b = new QPushButton(TrQ(text), pnSearch);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        if (hint)
            b->setToolTip(TrQ(hint));
        buttonRow->addWidget(b);
        return b;
    };
    btFind = makeButton("btFind", "Find", "Find the first matching entry");
    btFindNext = makeButton("btFindNext", "Find next", "Find the next matching entry");
    buttonRow->addStretch(1);
    btExpand = makeButton("btExpand", "Expand", "Show all directories");
    btCollapse = makeButton("btCollapse", "Collapse", "Show only root directories");
    searchLayout->addLayout(buttonRow);
    leftLayout->addWidget(pnSearch);

    auto* right = new QWidget(Splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    Model = new TConfirmFilesModel(this);
    lvFiles = new QTableView(right);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setModel(Model);
    lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvFiles->setShowGrid(false);
    lvFiles->setWordWrap(false);
    lvFiles->setIconSize(QSize(34, 16));
    lvFiles->setTextElideMode(Qt::ElideRight);
    lvFiles->verticalHeader()->hide();
    lvFiles->verticalHeader()->setDefaultSectionSize(lvFiles->fontMetrics().height() + 6);
    lvFiles->horizontalHeader()->setHighlightSections(false);
    lvFiles->horizontalHeader()->setSectionsClickable(true);
    lvFiles->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    lvFiles->installEventFilter(this);
    rightLayout->addWidget(lvFiles, 1);
    auto* selectRow = new QHBoxLayout;
    btSelectAll = new QPushButton(TrQ("Select all"), right);
    btSelectAll->setObjectName(QStringLiteral("btSelectAll"));
    btSelectAll->setAutoDefault(false);
    btDeselectAll = new QPushButton(TrQ("Deselect all"), right);
    btDeselectAll->setObjectName(QStringLiteral("btDeselectAll"));
    btDeselectAll->setAutoDefault(false);
    selectRow->addWidget(btSelectAll);
    selectRow->addWidget(btDeselectAll);
    selectRow->addStretch(1);
    rightLayout->addLayout(selectRow);
    Splitter->addWidget(pnLeft);
    Splitter->addWidget(right);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 1);
    layout->addWidget(Splitter, 1);

    auto* countRow = new QHBoxLayout;
    laCount = new QLabel(this);
    laCount->setObjectName(QStringLiteral("laCount"));
    laSize = new QLabel(this);
    laSize->setObjectName(QStringLiteral("laSize"));
    countRow->addWidget(laCount);
    countRow->addStretch(1);
    countRow->addWidget(laSize);
    layout->addLayout(countRow);

    auto* bottom = new QHBoxLayout;
    btSettings = new QPushButton(this);
    btSettings->setObjectName(QStringLiteral("btSettings"));
    btSettings->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    btSettings->setToolTip(TrQ("Settings for file preview and comparison"));
    btSettings->setAutoDefault(false);
    btSettings->hide(); // shown once a settings dialog for the viewer programs is at hand
    laQuestion = new QLabel(this);
    laQuestion->setObjectName(QStringLiteral("laQuestion"));
    QFont qf = laQuestion->font();
    qf.setBold(true);
    laQuestion->setFont(qf);
    btYes = new QPushButton(TrQ("Yes"), this);
    btYes->setObjectName(QStringLiteral("btYes"));
    btYes->setAutoDefault(false);
    btNo = new QPushButton(TrQ("No"), this);
    btNo->setObjectName(QStringLiteral("btNo"));
    btNo->setDefault(true);
    bottom->addWidget(btSettings);
    bottom->addWidget(laQuestion, 1);
    bottom->addWidget(btYes);
    bottom->addWidget(btNo);
    layout->addLayout(bottom);

    pmFiles = new QMenu(this);
    pmFiles->setObjectName(QStringLiteral("pmFiles"));
    pmiShow = pmFiles->addAction(TrQ("Show file"));
    pmiShow->setObjectName(QStringLiteral("pmiShow"));
    pmiCompare = pmFiles->addAction(TrQ("Compare file"));
    pmiCompare->setObjectName(QStringLiteral("pmiCompare"));

    connect(btYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(btNo, &QPushButton::clicked, this, &QDialog::reject);
    connect(tvDirs, &QTreeWidget::currentItemChanged, this,
            [this] { GuardSlot([this] { ShowDirFiles(); }); });
    connect(lvFiles, &QTableView::clicked, this, [this](const QModelIndex& i) {
        GuardSlot([this, i] {
            if (QApplication::mouseButtons() != Qt::RightButton)
                ToggleRow(i.row());
        });
    });
    connect(lvFiles->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int c) { GuardSlot([this, c] { SortBy(c); }); });
    connect(lvFiles->horizontalHeader(), &QHeaderView::sectionResized, this, [] {});
    connect(Splitter, &QSplitter::splitterMoved, this, [this] { SetColumnWidths(); });
    connect(lvFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { GuardSlot([this, p] { ShowContextMenu(p); }); });
    connect(pmiShow, &QAction::triggered, this, [this] { GuardSlot([this] { ShowFile(); }); });
    connect(pmiCompare, &QAction::triggered, this, [this] { GuardSlot([this] { CompareFile(); }); });
    connect(btSelectAll, &QPushButton::clicked, this, [this] { GuardSlot([this] { SelectAll(true); }); });
    connect(btDeselectAll, &QPushButton::clicked, this, [this] { GuardSlot([this] { SelectAll(false); }); });
    connect(btExpand, &QPushButton::clicked, this, [this] { tvDirs->expandAll(); });
    connect(btCollapse, &QPushButton::clicked, this, [this] {
        tvDirs->collapseAll();
        for (int i = 0; i < tvDirs->topLevelItemCount(); ++i)
            tvDirs->topLevelItem(i)->setExpanded(true);
    });
    connect(btFind, &QPushButton::clicked, this, [this] { GuardSlot([this] { Search(true); }); });
    connect(btFindNext, &QPushButton::clicked, this, [this] { GuardSlot([this] { Search(false); }); });
    auto restart = [this] {
        FSearchPos = 0;
        FSearchMask.clear();
        edSearch->setFocus();
    };
    connect(rbDirs, &QRadioButton::toggled, this, restart);
}

TConfirmFiles::~TConfirmFiles()
{
    if (FIniName.empty())
        return;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(FIniName, false);
        ini.WriteString(IniSection, "Viewer", Viewer);
        ini.WriteString(IniSection, "CompareProg", CompareProg);
        ini.WriteString(IniSection, "CompareOptions", CompareOptions);
    } catch (const std::exception&) {
        // the program ends; a settings file that cannot be written keeps its old values
    }
}

void TConfirmFiles::Init(const std::string& AIniName)
{
    if (!FIniName.empty() || AIniName.empty())
        return;
    FIniName = AIniName;
    const auto ini = TUnicodeIniFile::CreateForRead(FIniName);
    Viewer = ini.ReadString(IniSection, "Viewer", "");
    CompareProg = ini.ReadString(IniSection, "CompareProg", "");
    CompareOptions = ini.ReadString(IniSection, "CompareOptions", "");
}

TNodeState TConfirmFiles::NodeState(const QTreeWidgetItem* node)
{
    return node ? static_cast<TNodeState>(node->data(0, NodeStateRole).toInt()) : nsUnselected;
}

QTreeWidgetItem* TConfirmFiles::NodeOfEntry(int listIndex) const
{
    const auto it = FNodeOfEntry.find(listIndex);
    return it == FNodeOfEntry.end() ? nullptr : it->second;
}

bool TConfirmFiles::Execute(const TConfirmRequest& request, TFileTransferList& AFileList)
{
    FMode = request.CMode;
    FDirMode = FMode == cmCleanUpDirs;
    FCleanup = FMode == cmCleanupFiles || FDirMode;
    FShowEmpty = request.ShowEmpty;
    FCryptPwd = request.CryptPwd;
    FKeyMode = request.KeyMode;
    FContextMode = request.ContextMode;
    pmiCompare->setEnabled(FContextMode == cmAll && !CompareProg.empty() &&
                           EngineFs::Exists(CompareProg, true));
    pmiCompare->setVisible(FContextMode == cmAll);
    ClearView();
    FSearchPos = 0;
    FSearchMask.clear();
    // The pictures follow the style in use now.
    FNodeImages = {CheckPixmap(QStyle::State_Off), CheckPixmap(QStyle::State_On),
                   CheckPixmap(QStyle::State_NoChange)};
    Model->MakeImages();
    if (request.Anzahl == 0) {
        InfoDialog(FDirMode ? _("No matching directories found!") : _("No matching files found!"));
        return false;
    }
    FList = &AFileList;
    Model->List = FList;
    Model->DirMode = FDirMode;
    Model->RestoreMode = !FCleanup;
    Model->SortColumn = 0;
    Model->Reverse = false;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (FDirMode) {
        pnLeft->hide();
        FShowCounts = true;
        resize(ScaleToFormDpi(381, this), height() < 300 ? ScaleToFormDpi(480, this) : height());
        BuildDirList();
    } else {
        pnLeft->show();
        resize(ScaleToFormDpi(741, this), height() < 300 ? ScaleToFormDpi(520, this) : height());
        Splitter->setSizes({ScaleToFormDpi(741 - 371, this), ScaleToFormDpi(371, this)});
        BuildDirTree();
    }
    QApplication::restoreOverrideCursor();

    std::string caption;
    switch (FMode) {
    case cmRestore:
    case cmRestoreZip:
        caption = _("Restore files");
        lblSource->setText(FMode == cmRestore ? TrQ("From directory:") : TrQ("From zip archive:"));
        laDest->setText(QStr(request.sDest));
        laQuestion->setText(TrQ("Should all selected files be restored?"));
        break;
    case cmCleanupFiles:
        caption = SafeFormat(_("Delete %s"), {_("files")});
        lblSource->setText(TrQ("Root directory:"));
        laDest->setText(request.sDest.empty() ? TrQ("Select files:") : QStr(request.sDest));
        laQuestion->setText(QStr(SafeFormat(_("Should all selected %s be deleted?"), {_("files")})));
        break;
    case cmCleanUpDirs:
        caption = SafeFormat(_("Delete %s"), {_("directories")});
        lblSource->setText(TrQ("Root directory:"));
        laDest->setText(TrQ("Select directories:"));
        laQuestion->setText(QStr(SafeFormat(_("Should all selected %s be deleted?"), {_("directories")})));
        break;
    }
    if (!request.Taskname.empty())
        caption += " [" + request.Taskname + " ]";
    setWindowTitle(QStr(caption));
    std::string notes;
    if (!request.sAlter.empty())
        notes += request.sAlter + "\n";
    if (!request.sTypen.empty())
        notes += request.sTypen + "\n";
    notes += request.sFilter;
    laNotes->setText(QStr(utf8::TrimRight(notes)));
    laNotes->setVisible(!notes.empty());
    std::string source = request.Source;
    while (source.size() > 1 && source.back() == PathDelimiter)
        source.pop_back();
    laSource->setText(QStr(source));
    Model->headerDataChanged(Qt::Horizontal, 0, 2);
    SetColumnWidths();
    UpdateCounts();
    btNo->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    ClearView();
    FList = nullptr;
    return ok;
}

void TConfirmFiles::done(int r)
{
    if (r == QDialog::Accepted && FList) {
        bool any = false;
        for (int i = 0; i < FList->Count() && !any; ++i) {
            const TFileType t = FList->FileType(i);
            any = FList->Selected(i) && (FDirMode ? IsDirEntry(t, FShowEmpty) : IsFileEntry(t));
        }
        if (!any) {
            ErrorDialog(SafeFormat(_("No %s selected!"), {FDirMode ? _("directories") : _("files")}));
            return;
        }
    }
    TDialogBase::done(r);
}

void TConfirmFiles::ClearView()
{
    tvDirs->clear();
    FNodeOfEntry.clear();
    FNodeOfPath.clear();
    Model->Shown.clear();
    Model->HitRow = -1;
    Model->Reset();
    FScanOrder.clear();
    for (const std::string& f : FTempFiles)
        EngineFs::DeleteFile(f);
    FTempFiles.clear();
}

void TConfirmFiles::SetNodeState(QTreeWidgetItem* node, TNodeState state)
{
    node->setData(0, NodeStateRole, static_cast<int>(state));
    node->setIcon(0, QIcon(FNodeImages[static_cast<size_t>(state)]));
}

void TConfirmFiles::BuildDirTree()
{
    tvDirs->clear();
    FNodeOfEntry.clear();
    FNodeOfPath.clear();
    int dirs = 0;
    for (int i = 0; i < FList->Count(); ++i)
        if (IsDir(FList->FileType(i)))
            ++dirs;
    FShowCounts = dirs <= MaxCountedDirs;
    QTreeWidgetItem* root = nullptr;
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < FList->Count(); ++i) {
        const TFileType t = FList->FileType(i);
        if (t == ftRoot) {
            root = new QTreeWidgetItem(tvDirs);
            root->setData(0, NodeDataRole, 0);
            root->setData(0, NodeNameRole, QStr(FList->Strings(i)));
            root->setData(0, NodeOwnRole, 0);
            root->setText(0, QStr(FList->Strings(i)));
            FRootFolder = FList->Items(i).FSource;
            FNodeOfPath.clear();
            node = nullptr;
        } else if (IsDir(t)) {
            if (!root) { // a list without a root header: one unnamed root
                root = new QTreeWidgetItem(tvDirs);
                root->setData(0, NodeDataRole, 0);
                root->setData(0, NodeOwnRole, 0);
                root->setText(0, QStr(FRootFolder));
            }
            const TFileTransferInfo& e = FList->Items(i);
            std::string rel;
            if (!FRootFolder.empty() && IsSubPath(FRootFolder, e.FSource))
                rel = MakeRelativePath(AddPathDelimiter(FRootFolder), e.FSource);
            else {
                rel = FList->Strings(i);
                if (rel.rfind("./", 0) == 0 || rel.rfind(".\\", 0) == 0)
                    rel.erase(0, 2);
                else if (rel == ".")
                    rel.clear();
            }
            std::replace(rel.begin(), rel.end(), '\\', '/');
            node = FindOrAddDirNode(root, rel);
            node->setData(0, NodeDataRole, i + 1);
            FNodeOfEntry[i] = node;
            int own = 0;
            for (int j = i + 1; j < FList->Count(); ++j) {
                const TFileType tj = FList->FileType(j);
                if (IsDir(tj) || tj == ftRoot || tj == ftSubRoot || tj == ftTarget)
                    break;
                if (IsFileEntry(tj))
                    ++own;
            }
            node->setData(0, NodeOwnRole, own);
        }
        if ((i & 255) == 255)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // The pictures start from the entries' flags, leaves first, so that a list that comes with
    // deselected entries shows them as such.
    std::function<void(QTreeWidgetItem*)> initial = [&](QTreeWidgetItem* n) {
        for (int c = 0; c < n->childCount(); ++c)
            initial(n->child(c));
        if (n->childCount() > 0) {
            ApplyParentRule(n);
            return;
        }
        int selected = 0, total = 0;
        CountFiles(n, selected, total);
        TNodeState state = nsPartly;
        if (selected == total)
            state = nsSelected;
        else if (selected == 0)
            state = FShowEmpty ? nsPartly : nsUnselected;
        SetNodeState(n, state);
    };
    for (int i = 0; i < tvDirs->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tvDirs->topLevelItem(i);
        initial(top);
        if (FShowCounts)
            AddNodeCounts(top);
        top->setExpanded(true);
    }
    (void)node;
    if (tvDirs->topLevelItemCount() > 0)
        tvDirs->setCurrentItem(tvDirs->topLevelItem(0));
    ShowDirFiles();
}

QTreeWidgetItem* TConfirmFiles::FindOrAddDirNode(QTreeWidgetItem* root, const std::string& path)
{
    // Scan order puts a folder's subfolders right after it: the nodes made so far are found by path.
    std::string key;
    QTreeWidgetItem* node = root;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string folder = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (folder.empty())
            continue;
        key += folder + "/";
        const auto it = FNodeOfPath.find(key);
        if (it != FNodeOfPath.end()) {
            node = it->second;
            continue;
        }
        auto* child = new QTreeWidgetItem(node);
        child->setData(0, NodeDataRole, 0);
        child->setData(0, NodeNameRole, QStr(folder));
        child->setData(0, NodeOwnRole, 0);
        child->setText(0, QStr(folder));
        FNodeOfPath[key] = child;
        node = child;
    }
    return node;
}

void TConfirmFiles::AddNodeCounts(QTreeWidgetItem* node)
{
    // Bottom-up: own count N, and the total M of every file below when there are subfolders.
    std::function<int(QTreeWidgetItem*)> count = [&](QTreeWidgetItem* n) -> int {
        const int own = n->data(0, NodeOwnRole).toInt();
        int below = 0;
        for (int c = 0; c < n->childCount(); ++c)
            below += count(n->child(c));
        QString name = n->data(0, NodeNameRole).toString();
        if (name.isEmpty())
            name = n->text(0);
        if (n->childCount() == 0)
            n->setText(0, QStringLiteral("%1 (%2)").arg(name).arg(own));
        else
            n->setText(0, QStringLiteral("%1 (%2+%3)").arg(name).arg(own).arg(below));
        return own + below;
    };
    count(node);
}

void TConfirmFiles::BuildDirList()
{
    tvDirs->clear();
    FScanOrder.clear();
    for (int i = 0; i < FList->Count(); ++i)
        if (IsDir(FList->FileType(i)))
            FScanOrder.push_back(i);
    Model->Shown = FScanOrder;
    Model->SortColumn = 0;
    Model->Reverse = false;
    Model->Reset();
}

TIndexArray TConfirmFiles::NodeFiles(const QTreeWidgetItem* node) const
{
    TIndexArray rows;
    if (!node || !FList)
        return rows;
    const int d = node->data(0, NodeDataRole).toInt() - 1;
    if (d < 0)
        return rows;
    if (FList->FileType(d + 1) == ftError) {
        rows.push_back(d + 1);
        return rows;
    }
    for (int j = d + 1; j < FList->Count(); ++j) {
        const TFileType t = FList->FileType(j);
        if (IsDir(t) || t == ftRoot || t == ftSubRoot || t == ftTarget)
            break;
        if (IsFileEntry(t))
            rows.push_back(j);
    }
    return rows;
}

void TConfirmFiles::ShowDirFiles()
{
    if (FDirMode || !FList)
        return;
    FScanOrder = NodeFiles(tvDirs->currentItem());
    Model->Shown = FScanOrder;
    Model->HitRow = -1;
    Model->SortColumn = 0;
    Model->Reverse = false;
    Model->Reset();
    Model->headerDataChanged(Qt::Horizontal, 0, 2);
}

void TConfirmFiles::ToggleRow(int row)
{
    if (!FList || row < 0 || row >= static_cast<int>(Model->Shown.size()))
        return;
    const int li = Model->Shown[static_cast<size_t>(row)];
    if (FList->FileType(li) == ftError)
        return;
    FList->SetSelected(li, !FList->Selected(li));
    Model->RowChanged(row);
    if (!FDirMode)
        UpdateNodeFromRows(tvDirs->currentItem());
    UpdateCounts();
}

void TConfirmFiles::UpdateNodeFromRows(QTreeWidgetItem* node)
{
    if (!node)
        return;
    int selected = 0, total = 0;
    for (int li : Model->Shown) {
        if (FList->FileType(li) == ftError)
            continue;
        ++total;
        if (FList->Selected(li))
            ++selected;
    }
    TNodeState state;
    if (total > 0 && selected == total)
        state = nsSelected;
    else if (selected > 0)
        state = nsPartly;
    else
        state = FShowEmpty || node->childCount() > 0 ? nsPartly : nsUnselected;
    SetNodeState(node, state);
    FList->SetSelected(node->data(0, NodeDataRole).toInt() - 1, state != nsUnselected);
    UpdateParentState(node->parent());
}

void TConfirmFiles::ToggleNode(QTreeWidgetItem* node)
{
    if (!node || !FList)
        return;
    const bool value = NodeState(node) != nsSelected;
    if (!FShowCounts && node->childCount() > 0) {
        InfoDialog(
            _("Since there are too many subdirectories\r\nonly selection of the lowest branch is possible!"));
        return;
    }
    SetFilesState(node, value);
    SetSubtreeState(node, value);
    SetNodeState(node, value ? nsSelected : nsUnselected);
    UpdateParentState(node->parent());
    FList->SetSelected(node->data(0, NodeDataRole).toInt() - 1, value);
    if (tvDirs->currentItem() != node)
        tvDirs->setCurrentItem(node);
    else
        ShowDirFiles();
    UpdateCounts();
}

void TConfirmFiles::SetFilesState(QTreeWidgetItem* node, bool value)
{
    for (int li : NodeFiles(node))
        if (FList->FileType(li) != ftError)
            FList->SetSelected(li, value);
}

void TConfirmFiles::SetSubtreeState(QTreeWidgetItem* node, bool value)
{
    for (int c = 0; c < node->childCount(); ++c) {
        QTreeWidgetItem* child = node->child(c);
        SetFilesState(child, value);
        SetNodeState(child, value ? nsSelected : nsUnselected);
        FList->SetSelected(child->data(0, NodeDataRole).toInt() - 1, value);
        SetSubtreeState(child, value);
    }
}

void TConfirmFiles::CountFiles(const QTreeWidgetItem* node, int& selected, int& total) const
{
    selected = total = 0;
    for (int li : NodeFiles(node)) {
        if (FList->FileType(li) == ftError)
            continue;
        ++total;
        if (FList->Selected(li))
            ++selected;
    }
}

void TConfirmFiles::ApplyParentRule(QTreeWidgetItem* node)
{
    bool allSelected = true, allUnselected = true;
    for (int c = 0; c < node->childCount(); ++c) {
        const TNodeState s = NodeState(node->child(c));
        allSelected = allSelected && s == nsSelected;
        allUnselected = allUnselected && s == nsUnselected;
    }
    TNodeState state = nsPartly;
    if (allSelected || allUnselected) {
        int selected = 0, total = 0;
        CountFiles(node, selected, total);
        const bool filesAll = selected == total; // also when there are none
        const bool filesNone = selected == 0 && total > 0;
        if (allSelected && filesAll)
            state = nsSelected;
        else if (allUnselected && filesNone)
            state = FShowEmpty ? nsPartly : nsUnselected;
    }
    SetNodeState(node, state);
    FList->SetSelected(node->data(0, NodeDataRole).toInt() - 1, state != nsUnselected);
}

void TConfirmFiles::UpdateParentState(QTreeWidgetItem* node)
{
    for (; node; node = node->parent())
        ApplyParentRule(node);
}

void TConfirmFiles::SelectAll(bool value)
{
    if (!FList)
        return;
    for (int i = 0; i < FList->Count(); ++i) {
        const TFileType t = FList->FileType(i);
        if (IsFileEntry(t) || IsDir(t))
            FList->SetSelected(i, value);
    }
    std::function<void(QTreeWidgetItem*)> mark = [&](QTreeWidgetItem* n) {
        SetNodeState(n, value ? nsSelected : nsUnselected);
        for (int c = 0; c < n->childCount(); ++c)
            mark(n->child(c));
    };
    for (int i = 0; i < tvDirs->topLevelItemCount(); ++i)
        mark(tvDirs->topLevelItem(i));
    Model->Reset();
    UpdateCounts();
}

void TConfirmFiles::UpdateCounts()
{
    if (!FList)
        return;
    int64_t count = 0, size = 0;
    for (int i = 0; i < FList->Count(); ++i) {
        const TFileTransferInfo& e = FList->Items(i);
        if (!e.IsSelected)
            continue;
        if (FDirMode ? IsDir(e.FType) : IsFileEntry(e.FType)) {
            ++count;
            size += FCleanup ? e.FSize : e.USize;
        }
    }
    std::string text;
    if (count == 1)
        text = FDirMode ? _("1 directory selected") : _("1 file selected");
    else if (count > 1)
        text = Format("%u ", {static_cast<uint64_t>(count)}) +
               (FDirMode ? _("directories selected") : _("files selected"));
    laCount->setText(QStr(text));
    if (FDirMode && count > 0)
        laSize->clear();
    else if (!FDirMode)
        laSize->setText(QStr(_("Total: ") + FormatSize(false, size)));
    else
        laSize->clear();
}

void TConfirmFiles::SortBy(int column)
{
    if (column == Model->SortColumn)
        Model->Reverse = !Model->Reverse;
    else
        Model->Reverse = false;
    Model->SortColumn = column;
    TIndexArray rows = FScanOrder;
    const bool reverse = Model->Reverse;
    auto less = [&](int a, int b) {
        const TFileTransferInfo& ea = FList->Items(a);
        const TFileTransferInfo& eb = FList->Items(b);
        int c = 0;
        if (column == 0)
            c = CompareNames(FList->Strings(a), FList->Strings(b));
        else if (column == 1)
            c = ea.FTimeStamp < eb.FTimeStamp ? -1 : (ea.FTimeStamp > eb.FTimeStamp ? 1 : 0);
        else {
            const int64_t sa = Model->ShownSize(ea), sb = Model->ShownSize(eb);
            c = sa < sb ? -1 : (sa > sb ? 1 : 0);
        }
        return reverse ? c > 0 : c < 0;
    };
    std::sort(rows.begin(), rows.end(), less);
    Model->Shown = rows;
    Model->HitRow = -1;
    Model->Reset();
    Model->headerDataChanged(Qt::Horizontal, 0, 2);
}

void TConfirmFiles::Search(bool fromStart)
{
    if (FDirMode || !FList)
        return;
    std::string text = StdStr(edSearch->text());
    if (text.empty())
        return;
    if (text.find_first_of("*?") == std::string::npos)
        text = "*" + text + "*";
    if (fromStart || text != FSearchMask)
        FSearchPos = 0;
    FSearchMask = text;
    if (rbDirs->isChecked())
        SearchDir();
    else
        SearchFile();
}

void TConfirmFiles::SearchFile()
{
    for (int i = FSearchPos; i < FList->Count(); ++i) {
        if (!IsFileEntry(FList->FileType(i)))
            continue;
        bool matched = false;
        if (!TryMatchesMask(FList->Strings(i), FSearchMask, matched, TMaskSets::Lenient) || !matched)
            continue;
        FSearchPos = i + 1;
        SelectNodeOfEntry(i);
        const auto it = std::find(Model->Shown.begin(), Model->Shown.end(), i);
        if (it != Model->Shown.end()) {
            const int row = static_cast<int>(it - Model->Shown.begin());
            Model->HitRow = row;
            lvFiles->selectRow(row);
            lvFiles->scrollTo(Model->index(row, 0));
        }
        return;
    }
    FSearchPos = 0;
    ErrorDialog(_("No matching files for Cleanup found!"));
}

void TConfirmFiles::SelectNodeOfEntry(int listIndex)
{
    for (int d = listIndex; d >= 0; --d) {
        if (IsDir(FList->FileType(d))) {
            if (QTreeWidgetItem* node = NodeOfEntry(d)) {
                tvDirs->setCurrentItem(node);
                tvDirs->scrollToItem(node);
                ShowDirFiles();
            }
            return;
        }
    }
}

void TConfirmFiles::SearchDir()
{
    std::vector<QTreeWidgetItem*> nodes;
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* n) {
        nodes.push_back(n);
        for (int c = 0; c < n->childCount(); ++c)
            collect(n->child(c));
    };
    for (int i = 0; i < tvDirs->topLevelItemCount(); ++i)
        collect(tvDirs->topLevelItem(i));
    for (size_t i = static_cast<size_t>(FSearchPos); i < nodes.size(); ++i) {
        bool matched = false;
        if (TryMatchesMask(StdStr(nodes[i]->text(0)), FSearchMask, matched, TMaskSets::Lenient) && matched) {
            FSearchPos = static_cast<int>(i) + 1;
            tvDirs->setCurrentItem(nodes[i]);
            tvDirs->scrollToItem(nodes[i]);
            return;
        }
    }
    FSearchPos = 0;
    ErrorDialog(_("No matching directories found!"));
}

void TConfirmFiles::SetColumnWidths()
{
    // Date and size columns as wide as their texts in this font need, at least their designed widths.
    const QFontMetrics fm(lvFiles->font());
    const int pad = ScaleToFormDpi(12, this);
    const int dateWidth =
        std::max(ScaleToFormDpi(120, this), fm.horizontalAdvance(QStr(DateTimeToStr(45999.99999))) + pad);
    const int sizeWidth =
        FDirMode ? 0 : std::max(ScaleToFormDpi(70, this), fm.horizontalAdvance("999.99 MiB") + pad);
    lvFiles->setColumnHidden(2, FDirMode);
    lvFiles->setColumnWidth(1, dateWidth);
    lvFiles->setColumnWidth(2, sizeWidth);
    // The name column takes the rest of the width.
    lvFiles->horizontalHeader()->setMinimumSectionSize(ScaleToFormDpi(40, this));
    lvFiles->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void TConfirmFiles::resizeEvent(QResizeEvent* event)
{
    TDialogBase::resizeEvent(event);
    SetColumnWidths();
}

bool TConfirmFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tvDirs->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        QTreeWidgetItem* item = tvDirs->itemAt(me->position().toPoint());
        if (item && me->button() == Qt::LeftButton) {
            const QRect r = tvDirs->visualItemRect(item);
            const int x = me->position().toPoint().x() - r.left();
            if (x >= 0 && x < tvDirs->iconSize().width() + ScaleToFormDpi(4, this)) {
                GuardSlot([this, item] { ToggleNode(item); });
                return true;
            }
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (watched == edSearch && (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)) {
            GuardSlot([this] { Search(true); });
            return true;
        }
        if (ke->key() == Qt::Key_Space && watched == tvDirs) {
            GuardSlot([this] { ToggleNode(tvDirs->currentItem()); });
            return true;
        }
        if (ke->key() == Qt::Key_Space && watched == lvFiles) {
            GuardSlot([this] { ToggleRow(lvFiles->currentIndex().row()); });
            return true;
        }
    }
    return TDialogBase::eventFilter(watched, event);
}

void TConfirmFiles::ShowContextMenu(const QPoint& pos)
{
    if (FContextMode == cmNone || FDirMode)
        return;
    const QModelIndex i = lvFiles->indexAt(pos);
    if (!i.isValid())
        return;
    lvFiles->selectRow(i.row());
    pmiShow->setEnabled(Viewer.empty() || EngineFs::Exists(Viewer, true));
    pmFiles->popup(lvFiles->viewport()->mapToGlobal(pos));
}

std::string TConfirmFiles::PrepareViewFile(int listIndex)
{
    TViewRequest req;
    req.CryptPwd = FCryptPwd;
    req.KeyMode = FKeyMode;
    req.Caption = StdStr(windowTitle());
    std::string file = PrepareFileForView(*FList, listIndex, req);
    FCryptPwd = req.CryptPwd;
    if (req.Temporary && !file.empty() &&
        std::find(FTempFiles.begin(), FTempFiles.end(), file) == FTempFiles.end())
        FTempFiles.push_back(file);
    return file;
}

void TConfirmFiles::ShowFile()
{
    const int row = lvFiles->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(Model->Shown.size()))
        return;
    const std::string file = PrepareViewFile(Model->Shown[static_cast<size_t>(row)]);
    if (file.empty())
        return;
    OpenWithViewer(Viewer, file);
}

void TConfirmFiles::CompareFile()
{
    const int row = lvFiles->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(Model->Shown.size()))
        return;
    const int li = Model->Shown[static_cast<size_t>(row)];
    const std::string target = FList->Items(li).FDest;
    if (!EngineFs::Exists(target, true)) {
        ErrorDialog(SafeFormat(_("Original file not found: \"%s\""), {target}));
        return;
    }
    const std::string file = PrepareViewFile(li);
    if (file.empty())
        return;
    StartCompare(CompareProg, target, file, CompareOptions);
}

// --- unit routines

bool ConfirmFileList(const TConfirmRequest& request, TFileTransferList& AFileList)
{
    if (!GuiAvailable())
        return request.Anzahl > 0;
    static QPointer<TConfirmFiles> dlg;
    if (!dlg) {
        dlg = new TConfirmFiles;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, dlg.data(), &QObject::deleteLater);
    }
    dlg->Init(SettingsFile);
    return dlg->Execute(request, AFileList);
}

bool TDialogConfirmFiles::ConfirmFileList(const TConfirmRequest& request, TFileTransferList& list)
{
    if (!GuiAvailable())
        return request.Anzahl > 0;
    QObject* target = FGuiObject ? FGuiObject : qApp;
    return CallOnGui(target, [&] { return ::ConfirmFileList(request, list); });
}
