#pragma once
// Choosing a sub-directory on an FTP server: the dialog connects with the settings being edited, reads
// the whole directory tree below the task's remote directory and lets the user pick a folder in it.
//
// The network work runs on a thread of its own while the status window shows with a Cancel button
// and the event loop goes on, so a silent or unreachable server never freezes the program; Cancel
// aborts the connection at once.

#include <QPoint>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/FtpUtils.h"
#include "foundation/gui/GuiUtils.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A server directory and its sub-directories, as read from the server.
struct TFtpDirNode
{
    std::string Name;
    std::vector<TFtpDirNode> Children;
};

class TFtpDirDialog : public TDialogBase
{
public:
    explicit TFtpDirDialog(QWidget* parent = nullptr);
    ~TFtpDirDialog() override;
    // True when the user chose a directory with OK; ASubDir is then the chosen server path.
    bool Execute(const std::string& AHost, const std::string& AUsername, const std::string& ADirectory,
                 std::string APassword, int APort, const TCertInfos& ACertInfos, int ASecureMode,
                 const std::string& ALogName, bool APassive, bool AUtf8, bool AUseIPv6, std::string& ASubDir);
    // The server directory whose sub-directories are shown.
    const std::string& Root() const { return FRoot; }

private:
    // Runs work on a thread of its own while the status window shows status; false when the work
    // failed or the user cancelled it (Cancelled() tells which).
    bool RunFtpWork(const std::string& status, const std::function<bool()>& work);
    bool Cancelled() const { return FCancel; }
    // The status window's text while the work goes on (called on the work thread).
    void SetWorkStatus(const std::string& text);
    // Reads the tree below the current server directory into FTree (on the work thread).
    void ReadTree();
    void ReadNode(TFtpDirNode& node, bool top, const std::string& path, int depth);
    void ShowTree();
    void AddItems(QTreeWidgetItem* parent, const std::vector<TFtpDirNode>& nodes);
    void SelectionChanged();
    void DirUp();
    std::string BaseDirText() const;

    QLineEdit* edBaseDir;
    QTreeWidget* tvSubDirs;
    QLineEdit* edSubDir;
    QPushButton* btnDirUp;

    std::string FRoot;
    std::shared_ptr<TExtFtp> FTP;
    std::string FHost;
    int FPort = 21;
    int FSecureMode = 0;
    bool FUseIPv6 = false;
    TFtpDirNode FTree;
    std::atomic<bool> FCancel{false};
    std::mutex FInfoLock;
    std::string FStatus; // the status window's texts: what is done
    std::string FInfo;   // and the directory being read
};

bool ShowFtpDirDialog(const std::string& AHost, const std::string& AUsername, const std::string& ADirectory,
                      const std::string& APassword, int APort, const TCertInfos& ACertInfos, int ASecureMode,
                      const std::string& ALogName, bool APassive, bool AUtf8, bool AUseIPv6,
                      std::string& ASubDir);
