#include "backup/gui/FtpDirDlg.h"

#include "backup/gui/TaskDialogBase.h"

#include <QApplication>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <thread>

#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/SysUtils.h"

namespace {

// Deeper trees are not read further (a server with looping links would never end).
constexpr int MaxTreeDepth = 64;
// Waiting for a reply or a data transfer.
constexpr int TransferTimeout = 60000;

} // namespace

TFtpDirDialog::TFtpDirDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("FtpDirDialog"));
    setWindowTitle(TrQ("Select FTP subdirectory"));
    edBaseDir = ReadOnlyEdit(this, "edBaseDir");
    btnDirUp = new QPushButton(this);
    btnDirUp->setObjectName(QStringLiteral("btnDirUp"));
    btnDirUp->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    btnDirUp->setToolTip(TrQ("One directory up"));
    btnDirUp->setAutoDefault(false);
    tvSubDirs = new QTreeWidget(this);
    tvSubDirs->setObjectName(QStringLiteral("tvSubDirs"));
    tvSubDirs->setHeaderHidden(true);
    tvSubDirs->setToolTip(TrQ("Subdirectories:"));
    tvSubDirs->setMinimumSize(360, 260);
    edSubDir = ReadOnlyEdit(this, "edSubDir");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TrQ("Root directory on FTP server"), this));
    auto* baseRow = new QHBoxLayout;
    baseRow->addWidget(edBaseDir, 1);
    baseRow->addWidget(btnDirUp);
    layout->addLayout(baseRow);
    layout->addWidget(new QLabel(TrQ("Subdirectories:"), this));
    layout->addWidget(tvSubDirs, 1);
    layout->addWidget(new QLabel(TrQ("Selected subdirectory:"), this));
    layout->addWidget(edSubDir);
    AddOkCancel(this, layout);

    connect(tvSubDirs, &QTreeWidget::currentItemChanged, this,
            [this] { GuardSlot([this] { SelectionChanged(); }); });
    connect(btnDirUp, &QPushButton::clicked, this, [this] { GuardSlot([this] { DirUp(); }); });
}

TFtpDirDialog::~TFtpDirDialog() = default;

std::string TFtpDirDialog::BaseDirText() const
{
    std::string s = FSecureMode <= 0 ? "ftp" : "ftps";
    if (FUseIPv6)
        s += "://[" + FHost + "]:" + std::to_string(FPort);
    else
        s += "://" + FHost + ":" + std::to_string(FPort);
    return s + IncludeLeadingSlash(FRoot);
}

bool TFtpDirDialog::RunFtpWork(const std::string& status, const std::function<bool()>& work)
{
    FCancel = false;
    {
        std::lock_guard<std::mutex> lock(FInfoLock);
        FInfo.clear();
        FStatus = status;
    }
    TStatusWindow* sw = StatusWindow();
    const bool ownWindow = !sw->isVisible();
    if (ownWindow)
        sw->setWindowModality(Qt::ApplicationModal);
    sw->ShowStatus(isVisible() ? GetTopLeftPosOfs(this, QPoint(40, 40)) : DefaultFormPos, _("FTP connection"),
                   status, true, 1);
    std::atomic<bool> done{false};
    bool result = false;
    std::shared_ptr<TExtFtp> ftp = FTP;
    std::thread worker([&] {
        try {
            result = work();
        } catch (...) {
            result = false;
        }
        done = true;
    });
    QEventLoop loop;
    QTimer timer;
    std::string shown, shownStatus = status;
    connect(&timer, &QTimer::timeout, &loop, [&] {
        if (sw->Stopped && !FCancel) {
            FCancel = true;
            ftp->Connection().Socket().Abort();
        }
        std::string info, text;
        {
            std::lock_guard<std::mutex> lock(FInfoLock);
            info = FInfo;
            text = FStatus;
        }
        if (text != shownStatus) {
            shownStatus = text;
            sw->SetStatus(text);
        }
        if (info != shown) {
            shown = info;
            sw->SetInfo(info);
        }
        if (done)
            loop.quit();
    });
    timer.start(20);
    loop.exec();
    worker.join();
    if (ownWindow) {
        sw->hide();
        sw->setWindowModality(Qt::NonModal);
    }
    return result && !FCancel;
}

void TFtpDirDialog::SetWorkStatus(const std::string& text)
{
    std::lock_guard<std::mutex> lock(FInfoLock);
    FStatus = text;
    FInfo.clear();
}

void TFtpDirDialog::ReadNode(TFtpDirNode& node, bool top, const std::string& path, int depth)
{
    std::string remembered;
    if (!FTP->ReadCurrentDir(remembered))
        remembered.clear();
    if (top || FTP->ChangeToDir(node.Name)) {
        TDirectoryList list;
        if (FTP->GetDirList(&list)) {
            for (int i = 0; i < list.Count() && !FCancel; ++i) {
                const std::string& name = list.Strings(i);
                if (name == "." || name == "..")
                    continue;
                node.Children.push_back({name, {}});
                const std::string sub = path.empty() ? name : path + "/" + name;
                {
                    std::lock_guard<std::mutex> lock(FInfoLock);
                    FInfo = sub;
                }
                if (depth < MaxTreeDepth)
                    ReadNode(node.Children.back(), false, sub, depth + 1);
            }
        }
    }
    if (!remembered.empty() && !FCancel)
        FTP->ChangeToDir(remembered);
}

void TFtpDirDialog::ReadTree()
{
    FTree = TFtpDirNode();
    try {
        ReadNode(FTree, true, "", 0);
    } catch (...) {
        // What was read so far is shown.
    }
}

void TFtpDirDialog::AddItems(QTreeWidgetItem* parent, const std::vector<TFtpDirNode>& nodes)
{
    QIcon icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    icon.addPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
    for (const TFtpDirNode& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvSubDirs);
        item->setText(0, QStr(n.Name));
        item->setIcon(0, icon);
        AddItems(item, n.Children);
    }
}

void TFtpDirDialog::ShowTree()
{
    tvSubDirs->clear();
    edSubDir->clear();
    AddItems(nullptr, FTree.Children);
}

void TFtpDirDialog::SelectionChanged()
{
    QStringList parts;
    for (QTreeWidgetItem* item = tvSubDirs->currentItem(); item; item = item->parent())
        parts.prepend(item->text(0));
    edSubDir->setText(parts.join(QLatin1Char('/')));
}

void TFtpDirDialog::DirUp()
{
    std::string root = ExtractFtpParentDir(ExcludeTrailingSlash(FRoot));
    if (root.empty())
        root = "/";
    bool entered = false;
    RunFtpWork(_("Searching for directories"), [&] {
        if (!FTP->SetRemoteDir(root))
            return false;
        entered = true;
        ReadTree();
        return true;
    });
    if (!entered)
        return;
    FRoot = root;
    ShowTree();
    edBaseDir->setText(QStr(BaseDirText()));
}

bool TFtpDirDialog::Execute(const std::string& AHost, const std::string& AUsername,
                            const std::string& ADirectory, std::string APassword, int APort,
                            const TCertInfos& ACertInfos, int ASecureMode, const std::string& ALogName,
                            bool APassive, bool AUtf8, bool AUseIPv6, std::string& ASubDir)
{
    FHost = AHost;
    FPort = APort;
    FSecureMode = ASecureMode;
    FUseIPv6 = AUseIPv6;
    FTP = std::make_shared<TExtFtp>(ACertInfos.CertDir, ACertInfos.RootCertFile, ACertInfos.CertFile,
                                    ACertInfos.KeyFile, ACertInfos.Password);
    FTP->SetSecureTransfer(ASecureMode);
    FTP->Host = AHost;
    FTP->Port = APort;
    FTP->Username = AUsername;
    FTP->Passive = APassive;
    FTP->ForceUtf8 = AUtf8;
    FTP->SetUseIPv6(AUseIPv6);
    FTP->UseHOST = false;
    FTP->SetLogname(ALogName);
    FTP->SetWriteLogFile(!ALogName.empty());
    FTP->ConnectTimeout = TransferTimeout;
    FTP->ReadTimeout = TransferTimeout;
    FTP->ListenTimeout = TransferTimeout;
    FTP->MaxRetries = 1;
    FTP->OnCheckCancel = [this] { return FCancel.load(); };

    bool connected = true;
    if (APassword.empty())
        connected =
            AskPasswordCentered(
                _("FTP connection"),
                SafeFormat(_("Connection to FTP server: %s:%u\r\nfor user: %s\r\nrequires a password!"),
                           {AHost, APort, AUsername}),
                false, APassword) == mrOk;
    FRoot = ADirectory;
    edBaseDir->setText(QStr(BaseDirText()));
    bool result = false;
    bool entered = false;
    if (connected) {
        FTP->Password = APassword;
        std::string reason;
        const std::string searching = _("Searching for directories");
        RunFtpWork(_("Trying to connect to FTP server") + ": " + AHost, [&] {
            if (!FTP->DoConnect(1, false) || !FTP->SetRemoteDir(ADirectory)) {
                reason = FTP->IndyError();
                return false;
            }
            FRoot = FTP->CurrentDir();
            entered = true;
            SetWorkStatus(searching);
            ReadTree();
            return true;
        });
        // A read of the tree that the user cancelled shows what was read so far.
        connected = entered;
        if (!connected && !Cancelled()) {
            std::string text = _("Connection to FTP server failed");
            if (!reason.empty())
                text += "\r\n" + reason;
            ErrorDialog(text);
        }
    } else
        ErrorDialog(_("Connection to FTP server failed"));
    if (connected) {
        edBaseDir->setText(QStr(BaseDirText()));
        ShowTree();
        adjustSize();
        PlaceFormAt(this, DefaultFormPos);
        if (exec() == QDialog::Accepted) {
            ASubDir = IncludeTrailingSlash(FRoot) + StdStr(edSubDir->text());
            result = true;
        }
        FTP->Disconnect();
    }
    FTP.reset();
    return result;
}

bool ShowFtpDirDialog(const std::string& AHost, const std::string& AUsername, const std::string& ADirectory,
                      const std::string& APassword, int APort, const TCertInfos& ACertInfos, int ASecureMode,
                      const std::string& ALogName, bool APassive, bool AUtf8, bool AUseIPv6,
                      std::string& ASubDir)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TFtpDirDialog>();
    return dlg->Execute(AHost, AUsername, ADirectory, APassword, APort, ACertInfos, ASecureMode, ALogName,
                        APassive, AUtf8, AUseIPv6, ASubDir);
}
