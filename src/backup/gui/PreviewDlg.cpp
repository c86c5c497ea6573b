#include "backup/gui/PreviewDlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <memory>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/Masks.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"

namespace {
// Rows of the folder filter.
enum
{
    dsAll,
    dsSelected,
    dsNotEmpty
};

std::string Field(const std::string& text, size_t& pos)
{
    const size_t bar = text.find('|', pos);
    std::string f = text.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos);
    pos = bar == std::string::npos ? text.size() : bar + 1;
    return f;
}
} // namespace

int TPreviewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FileCount;
}

int TPreviewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

std::string TPreviewModel::Line(int r) const
{
    if (!FileList || r < 0 || r >= FileCount)
        return {};
    return (*FileList)[static_cast<int>(FileIndex[static_cast<size_t>(r)])];
}

QVariant TPreviewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= FileCount || !FileList)
        return {};
    const int line = static_cast<int>(FileIndex[static_cast<size_t>(index.row())]);
    const std::string& text = (*FileList)[line];
    const char marker = text.empty() ? ' ' : text[0];
    if (role == Qt::DecorationRole && index.column() == 0) {
        QStyle* style = QApplication::style();
        if (marker == '*')
            return style->standardIcon(QStyle::SP_DirIcon);
        if (marker == '#')
            return style->standardIcon(QStyle::SP_DialogCancelButton);
        return style->standardIcon(QStyle::SP_FileIcon);
    }
    if (role == Qt::ForegroundRole) {
        const bool dark = IsStyleActive();
        if (marker == '*')
            return dark ? QColor(90, 190, 240) : QColor(0, 112, 160);
        if (marker == '#')
            return dark ? QColor(255, 110, 110) : QColor(255, 0, 0);
        return {};
    }
    if (role == Qt::TextAlignmentRole && index.column() == 2)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    size_t pos = text.empty() ? 0 : 1;
    const std::string name = Field(text, pos);
    switch (index.column()) {
    case 0:
        return QStr(name);
    case 1:
        if (marker == '*')
            return QStr(FormatCount(_("No files"), _("1 file"), _("%u files"),
                                    static_cast<int64_t>(FileList->Objects(line))));
        if (marker == '#')
            return Exclude ? TrQ("not excluded") : TrQ("excluded");
        return QStr(Field(text, pos));
    default:
        if (marker == '*' || marker == '#')
            return {};
        Field(text, pos);
        return QStr(text.substr(pos));
    }
}

QVariant TPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return TrQ("Name");
    case 1:
        return ShowCrTm ? TrQ("Created") : TrQ("Modified");
    default:
        return TrQ("Size");
    }
}

void TPreviewModel::Reset(int count)
{
    beginResetModel();
    FileCount = count;
    endResetModel();
}

TShowFilePreview::TShowFilePreview(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ShowFilePreview"));
    setWindowTitle(TrQ("Backup selection preview"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    lblBase = new QLabel(this);
    lblBase->setObjectName(QStringLiteral("lblBase"));
    QFont bold = lblBase->font();
    bold.setBold(true);
    lblBase->setFont(bold);
    layout->addWidget(lblBase);
    Model = new TPreviewModel(this);
    lvwFiles = new QTableView(this);
    lvwFiles->setObjectName(QStringLiteral("lvwFiles"));
    lvwFiles->setModel(Model);
    lvwFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwFiles->setShowGrid(false);
    lvwFiles->setWordWrap(false);
    lvwFiles->verticalHeader()->hide();
    lvwFiles->verticalHeader()->setDefaultSectionSize(lvwFiles->fontMetrics().height() + 6);
    lvwFiles->horizontalHeader()->setHighlightSections(false);
    lvwFiles->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvwFiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvwFiles->setTextElideMode(Qt::ElideMiddle);
    layout->addWidget(lvwFiles, 1);
    lblHinweis1 = new QLabel(this);
    lblHinweis1->setObjectName(QStringLiteral("lblHinweis1"));
    lblHinweis1->setWordWrap(true);
    layout->addWidget(lblHinweis1);

    auto* bottom = new QHBoxLayout;
    rgDirs = new QGroupBox(TrQ("Show directories"), this);
    rgDirs->setObjectName(QStringLiteral("rgDirs"));
    auto* dirLayout = new QHBoxLayout(rgDirs);
    DirButtons = new QButtonGroup(rgDirs);
    const char* captions[3] = {"All", "Only selected", "Only not empty"};
    for (int i = 0; i < 3; ++i) {
        auto* rb = new QRadioButton(TrQ(captions[i]), rgDirs);
        rb->setObjectName(QStringLiteral("rgDirs%1").arg(i));
        DirButtons->addButton(rb, i);
        dirLayout->addWidget(rb);
    }
    bottom->addWidget(rgDirs);
    auto* search = new QGroupBox(TrQ("Search for matching file or directory"), this);
    search->setObjectName(QStringLiteral("gbSearch"));
    auto* searchLayout = new QHBoxLayout(search);
    edSearch = new QLineEdit(search);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setToolTip(TrQ("Wildcards * and ? are allowed"));
    edSearch->setMinimumWidth(ScaleToFormDpi(120, this));
    btFind = new QPushButton(TrQ("Find"), search);
    btFind->setObjectName(QStringLiteral("btFind"));
    btFind->setAutoDefault(false);
    btFindNext = new QPushButton(TrQ("Find next"), search);
    btFindNext->setObjectName(QStringLiteral("btFindNext"));
    btFindNext->setAutoDefault(false);
    searchLayout->addWidget(edSearch, 1);
    searchLayout->addWidget(btFind);
    searchLayout->addWidget(btFindNext);
    bottom->addWidget(search, 1);
    auto* ok = new QPushButton(TrQ("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    bottom->addWidget(ok, 0, Qt::AlignBottom);
    layout->addLayout(bottom);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(DirButtons, &QButtonGroup::idClicked, this, [this](int) {
        GuardSlot([this] {
            if (isVisible())
                BuildIndex();
        });
    });
    connect(btFind, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            FindIndex = 0;
            FindNext();
        });
    });
    connect(btFindNext, &QPushButton::clicked, this, [this] { GuardSlot([this] { FindNext(); }); });
    resize(ScaleToFormDpi(640, this), ScaleToFormDpi(480, this));
    SetStaticTabStops(this, ScreenReaderActive);
}

TShowFilePreview::~TShowFilePreview()
{
    if (FIniName.empty())
        return;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(FIniName, false);
        ini.WriteInteger("Preview", "Top", y());
        ini.WriteInteger("Preview", "Left", x());
        ini.WriteInteger("Preview", "Height", height());
        ini.WriteInteger("Preview", "Width", width());
        ini.UpdateFile();
    } catch (...) {
        // The window position is not worth an error at the end of the dialog.
    }
}

void TShowFilePreview::Init(const std::string& AIniName)
{
    if (!FIniName.empty() || AIniName.empty())
        return;
    FIniName = AIniName;
    const auto ini = TUnicodeIniFile::CreateForRead(FIniName);
    const int top = ini.ReadInteger("Preview", "Top", y());
    const int left = ini.ReadInteger("Preview", "Left", x());
    const int h = ini.ReadInteger("Preview", "Height", height());
    const int w = ini.ReadInteger("Preview", "Width", width());
    resize(std::max(w, minimumSizeHint().width()), std::max(h, minimumSizeHint().height()));
    move(left, top);
    FitFormToWorkArea(this);
}

void TShowFilePreview::Execute(const std::string& ATitle, const std::string& Base, const std::string& Hint,
                               TPreviewOptions AOptions, const TStringList& AFL)
{
    setWindowTitle(QStr(ATitle));
    Model->FileList = &AFL;
    lblBase->setText(QStr(ShortenPath(Base, 45)));
    lblBase->setToolTip(QStr(Base));
    lblHinweis1->setText(QStr(Hint));
    Model->Exclude = (AOptions & PreviewOption(poExclude)) != 0;
    Model->ShowCrTm = (AOptions & PreviewOption(poShowCrTm)) != 0;
    Model->FileIndex.assign(static_cast<size_t>(AFL.Count()), 0);
    Model->Reset(0);
    if ((AOptions & PreviewOption(poNoDirSel)) != 0) {
        rgDirs->hide();
        DirButtons->button(dsNotEmpty)->setChecked(true);
    } else {
        rgDirs->show();
        DirButtons->button((AOptions & PreviewOption(poNotEmpty)) != 0 ? dsNotEmpty : dsSelected)
            ->setChecked(true);
    }
    FindIndex = 0;
    exec();
    Model->FileIndex.clear();
    Model->FileIndex.shrink_to_fit();
    Model->Reset(0);
    Model->FileList = nullptr;
}

void TShowFilePreview::BuildIndex()
{
    const TStringList* list = Model->FileList;
    int count = 0;
    const int mode = DirButtons->checkedId();
    for (int i = 0; list && i < list->Count(); ++i) {
        const std::string& line = (*list)[i];
        const char marker = line.empty() ? ' ' : line[0];
        bool shown;
        if (mode == dsAll)
            shown = true;
        else if (mode == dsNotEmpty && marker == '*')
            shown = list->Objects(i) != 0;
        else
            shown = marker != '#';
        if (shown)
            Model->FileIndex[static_cast<size_t>(count++)] = static_cast<uint32_t>(i);
    }
    Model->Reset(count);
}

void TShowFilePreview::showEvent(QShowEvent* event)
{
    TDialogBase::showEvent(event);
    GuardSlot([this] {
        BuildIndex();
        if (Model->FileCount > 0)
            lvwFiles->scrollToTop();
        SetColumnWidths();
    });
}

void TShowFilePreview::resizeEvent(QResizeEvent* event)
{
    TDialogBase::resizeEvent(event);
    GuardSlot([this] { SetColumnWidths(); });
}

void TShowFilePreview::SetColumnWidths()
{
    const int timeWidth = ScaleToFormDpi(140, this);
    const int sizeWidth = ScaleToFormDpi(80, this);
    lvwFiles->setColumnWidth(1, timeWidth);
    lvwFiles->setColumnWidth(2, sizeWidth);
    lvwFiles->setColumnWidth(
        0, std::max(ScaleToFormDpi(80, this), lvwFiles->viewport()->width() - timeWidth - sizeWidth));
}

void TShowFilePreview::FindNext()
{
    std::string pattern = StdStr(edSearch->text());
    if (pattern.find_first_of("*?") == std::string::npos)
        pattern = "*" + pattern + "*";
    if (!IsValidMask(pattern)) {
        ErrorDialogAt(GetTopRightPos(btFindNext), _("Illegal mask!"));
        edSearch->setFocus();
        return;
    }
    for (int r = std::max(FindIndex, 0); r < Model->FileCount; ++r) {
        bool matched = false;
        if (TryMatchesMask(Model->Line(r), pattern, matched) && matched) {
            const QModelIndex index = Model->index(r, 0);
            lvwFiles->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
            lvwFiles->scrollTo(index, QAbstractItemView::EnsureVisible);
            FindIndex = r + 1;
            return;
        }
    }
    FindIndex = Model->FileCount;
    InfoDialogAt(GetTopRightPos(btFindNext), _("No more matches found!"));
}

void ShowFilePreview(const std::string& ATitle, const std::string& Base, const std::string& Hint,
                     TPreviewOptions AOptions, const TStringList& AFL)
{
    auto dlg = std::make_unique<TShowFilePreview>();
    dlg->Init(SettingsFile);
    dlg->Execute(ATitle, Base, Hint, AOptions, AFL);
}
