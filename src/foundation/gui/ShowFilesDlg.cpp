#include "foundation/gui/ShowFilesDlg.h"

#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <memory>

#include "foundation/PathUtils.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
std::string WithSlash(const std::string& dir)
{
    return !dir.empty() && dir.back() == '/' ? dir : dir + "/";
}
} // namespace

TShowFilesDialog::TShowFilesDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ShowFilesDialog"));
    setWindowTitle(TrQ("Show files"));
    pnTop = new QLabel(this);
    pnTop->setObjectName(QStringLiteral("pnTop"));
    FModel = new QFileSystemModel(this);
    FModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    lvFiles = new QTreeView(this);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setModel(FModel);
    lvFiles->setRootIsDecorated(false);
    lvFiles->setItemsExpandable(false);
    lvFiles->setSortingEnabled(true);
    lvFiles->sortByColumn(0, Qt::AscendingOrder);
    btnDirUp = new QPushButton(TrQ("One directory up"), this);
    btnDirUp->setObjectName(QStringLiteral("btnDirUp"));
    btnDirUp->setAutoDefault(false);
    auto* ok = new QPushButton(TrQ("Close"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnDirUp);
    bottom->addStretch(1);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnTop);
    layout->addWidget(lvFiles, 1);
    layout->addLayout(bottom);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnDirUp, &QPushButton::clicked, this, [this] { GuardSlot([this] { DirUp(); }); });
    connect(lvFiles, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        GuardSlot([&] {
            if (FModel->isDir(index))
                OpenDir(StdStr(FModel->filePath(index)));
        });
    });
    resize(620, 400);
    const int x = fontMetrics().horizontalAdvance(QLatin1Char('X'));
    lvFiles->header()->resizeSection(1, 12 * x);
    lvFiles->header()->resizeSection(2, 13 * x);
    lvFiles->header()->resizeSection(3, 18 * x);
}

void TShowFilesDialog::OpenDir(const std::string& dir)
{
    FCurrent = WithSlash(dir);
    lvFiles->setRootIndex(FModel->setRootPath(QStr(dir)));
    pnTop->setText(QStr(dir));
    lvFiles->setToolTip(TrQ("Directory:") + QStringLiteral(" ") + QStr(dir));
    btnDirUp->setEnabled(FCurrent != RootName);
}

void TShowFilesDialog::DirUp()
{
    if (FCurrent == RootName)
        return;
    std::string dir = FCurrent.substr(0, FCurrent.size() - 1);
    const size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? RootName : dir.substr(0, slash + 1);
    if (dir.size() < RootName.size())
        dir = RootName;
    OpenDir(dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir);
}

void TShowFilesDialog::Show(const std::string& ATitle, const std::string& Dir)
{
    setWindowTitle(ATitle.empty() ? TrQ("Show files") : QStr(ATitle));
    if (!XlDirectoryExists(Dir)) {
        ErrorDialog(SafeFormat(_("Directory not found:\r\n%s!"), {Dir}));
        return;
    }
    RootName = WithSlash(Dir);
    OpenDir(Dir);
    PlaceFormAt(this, DefaultFormPos);
    exec();
}

void ShowDirectoryFiles(const std::string& ATitle, const std::string& Dir)
{
    if (!GuiAvailable())
        return;
    auto dlg = std::make_unique<TShowFilesDialog>();
    dlg->Show(ATitle, Dir);
}
