#include "foundation/gui/ShellDirDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cerrno>
#include <dirent.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/IniFileUtils.h"
#include "foundation/ListUtils.h"
#include "foundation/NumberUtils.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "platform/Trash.h"
#include "platform/XdgDirs.h"

namespace {
enum TRoot
{
    rtDesktop,
    rtDocuments,
    rtComputer,
    rtNetwork
};

constexpr int MaxHistory = 15;
QPointer<TShellDirDialog> GInstance;
std::string GIniName;
std::string GSection;

std::string WithSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

std::string NetworkRoot()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string gvfs = runtime ? std::string(runtime) + "/gvfs" : std::string();
    if (!gvfs.empty() && XlDirectoryExists(gvfs))
        return gvfs;
    return XlDirectoryExists("/mnt") ? "/mnt" : "/";
}

std::string RootPath(int root)
{
    switch (root) {
    case rtDesktop:
        return DesktopDir();
    case rtDocuments:
        return DocumentsDir();
    case rtNetwork:
        return NetworkRoot();
    default:
        return "/";
    }
}
} // namespace

bool DeleteFolderTree(const std::string& dir, int& dirs, int& files)
{
    int failures = 0;
    std::function<void(const std::string&)> walk = [&](const std::string& d) {
        DIR* h = ::opendir(d.c_str());
        if (!h) {
            ++failures;
            return;
        }
        std::vector<std::string> subdirs, plain;
        while (dirent* e = ::readdir(h)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st;
            const std::string path = d + "/" + name;
            if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                subdirs.push_back(path);
            else
                plain.push_back(path);
        }
        ::closedir(h);
        for (const std::string& s : subdirs)
            walk(s);
        bool allFiles = true;
        for (const std::string& f : plain) {
            if (::unlink(f.c_str()) == 0)
                ++files;
            else {
                ++failures;
                allFiles = false;
            }
        }
        if (!allFiles)
            return;
        ::chmod(d.c_str(), 0700);
        if (::rmdir(d.c_str()) == 0)
            ++dirs;
        else
            ++failures;
    };
    std::string top = dir;
    while (top.size() > 1 && top.back() == '/')
        top.pop_back();
    walk(top);
    return failures == 0;
}

TShellDirDialog::TShellDirDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ShellDirDialog"));
    setWindowTitle(TrQ("Select directory"));
    auto tool = [this](const char* name, const QString& text, const QString& hint,
                       QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
        return b;
    };
    spbDesktop = tool("spbDesktop", TrQ("Desktop"), QString(), QStyle::SP_DesktopIcon);
    spbMyFiles = tool("spbMyFiles", TrQ("Documents"), QString(), QStyle::SP_DirHomeIcon);
    spbComputer = tool("spbComputer", TrQ("Computer"), QString(), QStyle::SP_ComputerIcon);
    spbNetwork = tool("spbNetwork", TrQ("Network"), QString(), QStyle::SP_DriveNetIcon);
    auto* roots = new QButtonGroup(this);
    roots->setExclusive(true);
    int id = 0;
    for (QToolButton* b : {spbDesktop, spbMyFiles, spbComputer, spbNetwork}) {
        b->setCheckable(true);
        roots->addButton(b, id++);
    }
    connect(roots, &QButtonGroup::idClicked, this, [this](int root) { GuardSlot([&] { SetRoot(root); }); });
    cbxSelectedDir = new QComboBox(this);
    cbxSelectedDir->setObjectName(QStringLiteral("cbxSelectedDir"));
    cbxSelectedDir->setEditable(true);
    cbxSelectedDir->setInsertPolicy(QComboBox::NoInsert);
    cbxSelectedDir->setMaxVisibleItems(MaxHistory);
    cbxSelectedDir->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    spbHome = tool("spbHome", QString(), TrQ("Go to default folder"), QStyle::SP_DirHomeIcon);
    spbUp = tool("spbUp", QString(), TrQ("One folder up"), QStyle::SP_FileDialogToParent);
    spbNew = tool("spbNew", QString(), TrQ("Create new folder"), QStyle::SP_FileDialogNewFolder);
    cbxFiles = new QCheckBox(TrQ("Show files"), this);
    cbxFiles->setObjectName(QStringLiteral("cbxFiles"));
    laVolHint = new QLabel(this);
    laVolHint->setObjectName(QStringLiteral("laVolHint"));
    TreeModel = new QFileSystemModel(this);
    TreeModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    ListModel = new QFileSystemModel(this);
    ListModel->setFilter(QDir::Files);
    ShellTreeView = new QTreeView(this);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setModel(TreeModel);
    for (int c = 1; c < TreeModel->columnCount(); ++c)
        ShellTreeView->hideColumn(c);
    ShellTreeView->setHeaderHidden(true);
    ShellTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    ShellListView = new QTreeView(this);
    ShellListView->setObjectName(QStringLiteral("ShellListView"));
    ShellListView->setModel(ListModel);
    ShellListView->setRootIsDecorated(false);
    ShellListView->setSortingEnabled(true);
    Splitter = new QSplitter(this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->addWidget(ShellTreeView);
    Splitter->addWidget(ShellListView);
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    QAction* create = PopupMenu->addAction(TrQ("Create folder"));
    create->setObjectName(QStringLiteral("itmCreate"));
    QAction* del = PopupMenu->addAction(TrQ("Delete folder"));
    del->setObjectName(QStringLiteral("itmDelete"));
    QAction* update = PopupMenu->addAction(TrQ("Update"));
    update->setObjectName(QStringLiteral("itmUpdate"));
    PopupMenu->addAction(TrQ("Cancel"));

    auto* rootRow = new QHBoxLayout;
    for (QToolButton* b : {spbDesktop, spbMyFiles, spbComputer, spbNetwork})
        rootRow->addWidget(b);
    rootRow->addStretch(1);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(cbxSelectedDir, 1);
    pathRow->addWidget(spbHome);
    pathRow->addWidget(spbUp);
    pathRow->addWidget(spbNew);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbxFiles);
    bottom->addWidget(laVolHint, 1);
    btbOK = new QPushButton(TrQ("OK"), this);
    btbOK->setObjectName(QStringLiteral("btbOK"));
    btbOK->setDefault(true);
    auto* cancel = new QPushButton(TrQ("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btbCancel"));
    cancel->setAutoDefault(false);
    bottom->addWidget(btbOK);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rootRow);
    layout->addWidget(Splitter, 1);
    layout->addLayout(pathRow);
    layout->addLayout(bottom);
    connect(btbOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(spbUp, &QToolButton::clicked, this, [this] { GuardSlot([this] { Up(); }); });
    connect(spbHome, &QToolButton::clicked, this, [this] { GuardSlot([this] { Home(); }); });
    connect(spbNew, &QToolButton::clicked, this, [this] {
        GuardSlot([this] {
            bool ok = false;
            const QString name =
                QInputDialog::getText(this, cbxSelectedDir->currentText(), TrQ("New subdirectory:"),
                                      QLineEdit::Normal, QString(), &ok);
            if (ok && !name.isEmpty())
                CreateFolder(StdStr(name));
        });
    });
    connect(create, &QAction::triggered, spbNew, &QToolButton::click);
    connect(del, &QAction::triggered, this, [this] { GuardSlot([this] { DeleteFolder(); }); });
    connect(update, &QAction::triggered, this, [this] { SelectionChanged(); });
    connect(ShellTreeView, &QTreeView::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu->popup(ShellTreeView->viewport()->mapToGlobal(p)); });
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { GuardSlot([this] { SelectionChanged(); }); });
    connect(cbxSelectedDir->lineEdit(), &QLineEdit::textEdited, this,
            [this] { GuardSlot([this] { PathEdited(); }); });
    connect(cbxSelectedDir, &QComboBox::activated, this, [this] { GuardSlot([this] { PathEdited(); }); });
    connect(cbxFiles, &QCheckBox::toggled, this, [this](bool on) { GuardSlot([&] { ShowFiles(on); }); });
    resize(640, 460);
}

void TShellDirDialog::SetRoot(int root)
{
    FRoot = root;
    QToolButton* buttons[] = {spbDesktop, spbMyFiles, spbComputer, spbNetwork};
    buttons[root]->setChecked(true);
    const QString path = QStr(RootPath(root));
    ShellTreeView->setRootIndex(TreeModel->setRootPath(path));
}

void TShellDirDialog::StartAt(const std::string& dirIn)
{
    std::string d = dirIn.empty() ? FDefaultDir : dirIn;
    if (d.empty()) {
        SetRoot(rtDesktop);
        ShellTreeView->setCurrentIndex(QModelIndex());
        cbxSelectedDir->setEditText(QString());
        UpdateVolHint();
        return;
    }
    if (!XlDirectoryExists(d)) {
        d = DocumentsDir();
        if (!XlDirectoryExists(d))
            d = StdStr(QDir::currentPath());
        SetRoot(rtComputer);
    } else
        SetRoot(d.rfind(NetworkRoot() + "/", 0) == 0 ? rtNetwork : rtComputer);
    const QModelIndex index = TreeModel->index(QStr(d));
    if (index.isValid()) {
        ShellTreeView->setCurrentIndex(index);
        ShellTreeView->expand(index);
        ShellTreeView->scrollTo(index);
    }
    cbxSelectedDir->setEditText(QStr(d));
    UpdateVolHint();
}

std::string TShellDirDialog::SelectedPath() const
{
    return StdStr(cbxSelectedDir->currentText());
}

void TShellDirDialog::UpdateVolHint()
{
    const std::string path = SelectedPath();
    if (path.empty() || !XlDirectoryExists(path)) {
        laVolHint->clear();
        btbOK->setEnabled(false);
        return;
    }
    btbOK->setEnabled(true);
    const QStorageInfo info(QStr(path));
    if (!info.isValid() || info.bytesTotal() <= 0) {
        laVolHint->clear();
        return;
    }
    laVolHint->setText(QStr(FormatByteSize(false, true, 0, info.bytesAvailable()) + _(" free of ") +
                            FormatByteSize(false, true, 0, info.bytesTotal())));
}

void TShellDirDialog::SelectionChanged()
{
    const QModelIndex index = ShellTreeView->currentIndex();
    if (index.isValid())
        cbxSelectedDir->setEditText(TreeModel->filePath(index));
    if (FFileView && cbxFiles->isChecked() && index.isValid())
        ShellListView->setRootIndex(ListModel->setRootPath(TreeModel->filePath(index)));
    UpdateVolHint();
}

void TShellDirDialog::PathEdited()
{
    const std::string text = SelectedPath();
    if (XlDirectoryExists(text)) {
        const QModelIndex index = TreeModel->index(QStr(text));
        if (index.isValid()) {
            const QSignalBlocker block(ShellTreeView->selectionModel());
            ShellTreeView->setCurrentIndex(index);
            ShellTreeView->scrollTo(index);
        }
    }
    UpdateVolHint();
}

void TShellDirDialog::ShowFiles(bool on)
{
    ShellListView->setVisible(FFileView && on);
    if (FFileView && on)
        SelectionChanged();
    UpdateVolHint();
}

void TShellDirDialog::AddToDirHistory(const std::string& dir)
{
    AddToHistory(DirList, dir, MaxHistory);
}

void TShellDirDialog::Up()
{
    std::string path = SelectedPath();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::string root = RootPath(FRoot);
    if (path.empty() || path == root) {
        SetRoot(rtComputer);
        return;
    }
    const size_t slash = path.rfind('/');
    const std::string parent = slash == 0 ? "/" : slash == std::string::npos ? "/" : path.substr(0, slash);
    if (parent.size() < root.size() || parent.compare(0, root.size(), root) != 0)
        SetRoot(rtComputer);
    const QModelIndex index = TreeModel->index(QStr(parent));
    if (index.isValid()) {
        ShellTreeView->setCurrentIndex(index);
        ShellTreeView->scrollTo(index);
    }
    cbxSelectedDir->setEditText(QStr(parent));
    ShellTreeView->setFocus();
    UpdateVolHint();
}

void TShellDirDialog::Home()
{
    if (FDefaultDir.empty())
        return;
    if (!QDir::setCurrent(QStr(FDefaultDir))) {
        ErrorDialog(SafeFormat(_("Directory not found:\r\n%s!"), {FDefaultDir}));
        RemoveFromHistory(DirList, FDefaultDir);
        return;
    }
    StartAt(FDefaultDir);
}

void TShellDirDialog::CreateFolder(const std::string& name)
{
    const std::string path = WithSlash(SelectedPath()) + name;
    if (!QDir().mkpath(QStr(path))) {
        ErrorDialog(SafeFormat(_("Could not create directory:\r\n%s!"), {path}));
        return;
    }
    SetRoot(rtComputer);
    StartAt(path);
}

void TShellDirDialog::DeleteFolder()
{
    std::string path = SelectedPath();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty() || !XlDirectoryExists(path))
        return;
    const int choice =
        SelectChoice(_("Delete directory"), SafeFormat(_("Delete \"%s\""), {path}), mtConfirmation, false,
                     {_("Definitely"), _("To recycle bin")}, "", 0, 0, "");
    if (choice < 0)
        return;
    Up();
    bool ok;
    if ((choice & 0xFF) == 1) {
        ok = MoveToTrash(path) == 0;
        if (ok)
            InfoDialog(SafeFormat(_("%s moved to Recycle Bin!"), {path}));
    } else {
        int dirs = 0, files = 0;
        ok = DeleteFolderTree(path, dirs, files);
        if (ok)
            InfoDialog(SafeFormat(_("%u directories with %u files deleted!"), {dirs, files}));
    }
    if (!ok)
        ErrorDialog(SafeFormat(_("Error deleting directory:\r\n%s!"), {path}));
    // The parent chosen above stays selected; the tree, which learns of the removal on its own
    // time, follows the path rather than the other way round.
    PathEdited();
}

void TShellDirDialog::LoadFromIni(const std::string& IniName, const std::string& Section)
{
    FIniName = IniName;
    FIniSection = Section;
    if (IniName.empty() || Section.empty() || !XlFileExists(IniName))
        return;
    const TMemIniFile ini(IniName);
    DirList.Clear();
    for (int i = 0; i < MaxHistory; ++i) {
        const std::string s = ini.ReadString(Section, "History" + std::to_string(i), "");
        if (!s.empty())
            DirList.Add(s);
    }
    const int top = ini.ReadInteger(Section, "Top", 0);
    const int left = ini.ReadInteger(Section, "Left", x());
    resize(width(), ini.ReadInteger(Section, "Height", height()));
    const int dirWidth = ini.ReadInteger(Section, "DirWidth", ShellTreeView->width());
    const int fileWidth = ini.ReadInteger(Section, "FileWidth", ShellListView->width());
    Splitter->setSizes({dirWidth, fileWidth});
    cbxFiles->setChecked(ini.ReadBool(Section, "Fileview", false));
    if (top == 0) {
        if (QScreen* s = screen()) {
            const QRect g = s->availableGeometry();
            move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
        }
    } else
        move(left, top);
}

void TShellDirDialog::SaveToIni()
{
    if (FIniName.empty() || FIniSection.empty())
        return;
    try {
        TMemIniFile ini(FIniName);
        ini.EraseSection(FIniSection);
        for (int i = 0; i < DirList.Count(); ++i)
            ini.WriteString(FIniSection, "History" + std::to_string(i), DirList[i]);
        ini.WriteInteger(FIniSection, "Top", y());
        ini.WriteInteger(FIniSection, "Left", x());
        ini.WriteInteger(FIniSection, "Height", height());
        const QList<int> sizes = Splitter->sizes();
        ini.WriteInteger(FIniSection, "DirWidth", sizes.value(0));
        ini.WriteInteger(FIniSection, "FileWidth", sizes.value(1));
        ini.WriteBool(FIniSection, "Fileview", cbxFiles->isChecked());
        ini.UpdateFile();
    } catch (...) {
        // Settings are not worth an error message when the window closes.
    }
}

void TShellDirDialog::ResetPosition()
{
    move(50, 50);
}

bool TShellDirDialog::Execute(const std::string& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                              const std::string& HomeDir, std::string& Dir)
{
    setWindowTitle(QStr(ATitle));
    FDefaultDir = HomeDir;
    const QDir::Filters hidden = Hidden ? QDir::Hidden | QDir::System : QDir::Filters();
    TreeModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | hidden);
    ListModel->setFilter(QDir::Files | hidden);
    // Zip archives are files on Linux: they appear in the file panel whatever ZipAsFiles says.
    (void)ZipAsFiles;
    FFileView = FileView;
    cbxFiles->setVisible(FileView);
    ShellListView->setVisible(FileView && cbxFiles->isChecked());
    spbHome->setVisible(!FDefaultDir.empty());
    spbHome->setToolTip(TrQ("Default: ") + QStr(FDefaultDir));
    SetComboItems(cbxSelectedDir, DirList);
    StartAt(Dir);
    FitFormToWorkArea(this);
    ShellTreeView->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    const std::string text = SelectedPath();
    Dir = text.empty() ? text : WithSlash(text);
    return true;
}

void TShellDirDialog::accept()
{
    AddToDirHistory(SelectedPath());
    TDialogBase::accept();
}

void TShellDirDialog::done(int r)
{
    SaveToIni();
    TDialogBase::done(r);
}

void TShellDirDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        QToolButton* target = nullptr;
        switch (event->key()) {
        case Qt::Key_C:
            target = spbComputer;
            break;
        case Qt::Key_D:
            target = spbMyFiles;
            break;
        case Qt::Key_H:
            target = spbHome;
            break;
        case Qt::Key_N:
            target = spbNew;
            break;
        case Qt::Key_T:
            target = spbDesktop;
            break;
        case Qt::Key_U:
            target = spbUp;
            break;
        case Qt::Key_W:
            target = spbNetwork;
            break;
        default:
            break;
        }
        if (target) {
            target->click();
            return;
        }
    }
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        SelectionChanged();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter closes with OK whatever the button's state, without adding to the history.
        done(QDialog::Accepted);
        return;
    }
    TDialogBase::keyPressEvent(event);
}

void SetShellDirDialogIni(const std::string& IniName, const std::string& Section)
{
    GIniName = IniName;
    GSection = Section;
}

TShellDirDialog* ShellDirDialog()
{
    return GInstance.data();
}

bool SelectFolderEx(const std::string& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                    const std::string& HomeDir, std::string& Dir)
{
    if (!GuiAvailable())
        return false;
    if (!GInstance) {
        GInstance = new TShellDirDialog(nullptr);
        GInstance->LoadFromIni(GIniName, GSection);
    }
    return GInstance->Execute(ATitle, Hidden, FileView, ZipAsFiles, HomeDir, Dir);
}

bool SelectFolder(const std::string& ATitle, bool Hidden, bool FileView, const std::string& HomeDir,
                  std::string& Dir)
{
    return SelectFolderEx(ATitle, Hidden, FileView, true, HomeDir, Dir);
}
