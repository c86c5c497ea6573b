#pragma once
// Destination folders of source folders, the file system of a destination, whether a destination can
// be reached, and a thread that reads the free space of a network path. Part of the QvUtils family.
//
// File systems of Linux map to the enumeration by their kind: the full-featured local file systems
// (ext2/3/4, xfs, f2fs, zfs, …, which keep permissions, extended attributes and a trash) count as
// fsNtfs, btrfs as fsBTRFS, vfat as fsFat, exfat as fsExtFat, ntfs/ntfs3 as fsNtfs, network file
// systems as fsRemote; a volume without a type name is fsLtfs and any other type fsFat.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/BuConsts.h"
#include "rtl/Thread.h"

std::string MakeDestPath(int mode, const std::string& drivePrefix, const std::string& destDir,
                         const std::string& sourceDir);
std::string GetPathRoot(const std::string& path);
TFileSystem GetFileSystem(const std::string& path);
std::string FileSystemName(TFileSystem fs);
bool IsRemovableDrive(const std::string& path);

// Where a destination is, as a text for the log and the editor, and its status: 0 a local volume (with
// its free and total space), 1 a network path, 2 not available.
void GetDestinationInfo(const std::string& dest, int& status, std::string& text);
void GetDestinationText(const std::string& dest, std::string& text);

// The password prompt of CheckPathAccess: Caption, the message, and the password entered; false on
// Cancel. Not set (headless): there is nobody to ask, which counts as Cancel.
using TPasswordPrompt =
    std::function<bool(const std::string& caption, const std::string& message, std::string& password)>;
void SetPathAccessPasswordPrompt(TPasswordPrompt prompt);

bool CheckPathAccess(const std::string& caption, const std::string& user, const std::string& password,
                     std::string& path, bool noPrompt);
bool CheckPathAccessNoLogon(const std::string& caption, std::string& path, bool noPrompt);

// Reads the free and total bytes of a (network) path without blocking the caller. It starts at once;
// OnTerminate runs on the creating thread (through CheckSynchronize) when it has finished. The creator
// frees it after that.
class TNetGetVolThread : public TThread
{
public:
    TNetGetVolThread(const std::string& netPath, std::function<void(TNetGetVolThread*)> onTerminate);
    ~TNetGetVolThread() override;
    bool Success() const { return fSuccess.load(); }
    uint64_t FreeSpace() const { return nFree.load(); }
    uint64_t TotalSpace() const { return nTotal.load(); }
    // The pause before the query (200 ms); tests set 0 before Start.
    static void SetStartDelay(int milliseconds);

protected:
    void Execute() override;

private:
    std::atomic<uint64_t> nFree{0};
    std::atomic<uint64_t> nTotal{0};
    std::string fPath;
    std::atomic<bool> fSuccess{false};
    std::function<void(TNetGetVolThread*)> FOnTerminate;
};
