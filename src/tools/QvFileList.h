#pragma once
// The list of found files and folders that the restore and cleanup scans fill, the confirmation view
// shows and edits, and the runs then walk. Entries stay in scan order: a directory or archive header
// comes before the entries that belong to it.
//
// The list owns its entries. Reading an entry at an invalid index yields a placeholder of type ftNone
// (the same object every time), so callers may read fields at any index without checking it first;
// writes through an invalid index are ignored.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/DateTime.h"

enum TFileType
{
    ftRoot,    // header of a scan: display name names the backup root; FDest destination, FSource source root
    ftZipName, // a zip archive the following FromZip entries come from; FSource is its path
    ftDir,     // header of a directory group; FDest is the destination directory
    ftFile,    // a file to restore or delete
    ftZipFile, // only as the type given to a new entry: stored as ftFile with FromZip set
    ftDirUp,   // FTP: the copy loop changes to the parent directory on the server
    ftEmpty,   // a directory or archive header under which nothing was selected
    ftTarget,  // header naming the target when files go back to where they were backed up from
    ftLink,    // a link information file; the restore turns it into a link
    ftSubRoot, // header of a sub-tree, before the first directory group of a scan below its root
    ftError,   // the display name is an error text
    ftNone     // placeholder: invalid index, or a candidate held until a later version replaces it
};

bool IsFileEntry(TFileType AType);
bool IsDirEntry(TFileType AType, bool AWithEmpty);

class TFileTransferInfo
{
public:
    TFileTransferInfo(TFileType AType, const std::string& ASource, const std::string& ADest, TDateTime ATmSt,
                      int AAttr, int AIndex, int64_t AUSize, int64_t AFSize, bool AComp, bool AZip, bool AEnc,
                      bool ASel);
    // No flags, unselected, USize and DirIndex 0.
    TFileTransferInfo(TFileType AType, const std::string& ASource, const std::string& ADest, TDateTime ATmSt,
                      int64_t AFSize, int AAttr);
    static std::unique_ptr<TFileTransferInfo> CreateAndSelect(TFileType AType, const std::string& ASource,
                                                              const std::string& ADest, TDateTime ATmSt,
                                                              int AAttr, bool AComp = false);

    TFileType FType = ftNone;
    bool IsSelected = false;
    bool Compressed = false;    // gzip file, single-file zip or a compressed zip member
    bool ZipCompressed = false; // a single-file zip archive
    bool Encrypted = false;
    bool FromZip = false; // a member of a zip archive
    std::string FName;    // file-name part of FDest
    std::string FSource;  // where the entry is read: backup path, member path or FTP name
    std::string FDest;    // where it is written (restore) or the path to delete (cleanup)
    TDateTime FTimeStamp = 0;
    int DirIndex = 0; // index of the member in its archive's directory, or a list index
    int FAttr = 0;
    int64_t USize = 0; // size after restoring
    int64_t FSize = 0; // size as stored

private:
    void SetTypeAndName(TFileType AType);
};

using TIndexArray = std::vector<int>;

class TFileTransferList
{
public:
    TFileTransferList();
    TFileTransferList(const TFileTransferList&) = delete;
    TFileTransferList& operator=(const TFileTransferList&) = delete;

    int Count() const { return static_cast<int>(FEntries.size()); }
    // The display name of an entry (empty for an invalid index).
    const std::string& Strings(int Index) const;
    void Clear();

    int AddItem(const std::string& AName, TFileType AType, const std::string& ASource,
                const std::string& ADest, TDateTime ATmSt, int AAttr, int AIndex, int64_t AUSize,
                int64_t AFSize, bool AComp, bool AZip, bool AEnc, bool ASel);
    // An unselected entry without sizes or flags.
    int AddItem(const std::string& AName, TFileType AType, const std::string& ASource,
                const std::string& ADest, TDateTime ATmSt, int AAttr);
    // An unselected entry with a stored size and no destination.
    int AddItem(const std::string& AName, TFileType AType, const std::string& ASource, TDateTime ATmSt,
                int64_t AFSize, int AAttr);
    int AddError(const std::string& AMsg);
    int AddAndSelectItem(const std::string& AName, TFileType AType, const std::string& ASource,
                         const std::string& ADest, TDateTime ATmSt, int AAttr, bool AComp = false);

    // Replaces the stored copy of an entry by a strictly newer one; type, name, destination, selection
    // and display name stay.
    void UpdateItem(int FIndex, const std::string& ASource, TDateTime ATmSt, int AAttr, int AIndex,
                    int64_t AUSize, int64_t AFSize, bool AComp, bool AZip, bool AEnc);
    void SetError(int FIndex, const std::string& AMsg);
    void UpdateIndex(int FIndex, int AIndex);

    // First entry whose destination (source) equals FileName, or -1. Paths compare exactly: two names
    // that differ only in case are two files here.
    int IndexOfDestFile(const std::string& FileName) const;
    // Searches the first MaxCount entries (all when MaxCount < 0).
    int IndexOfSourceFile(const std::string& FileName, int MaxCount) const;

    void SortByDate(); // oldest first
    void SortBySize(); // largest first
    void RemoveEntry(int Index);

    // The entry, or the placeholder for an invalid index.
    TFileTransferInfo& Items(int Index);
    const TFileTransferInfo& Items(int Index) const;
    TFileType FileType(int Index) const;
    void SetFileType(int Index, TFileType ft);
    bool Selected(int Index) const;
    void SetSelected(int Index, bool sel);

private:
    struct TLine
    {
        std::string Name;
        std::unique_ptr<TFileTransferInfo> Info;
    };
    bool Valid(int Index) const { return Index >= 0 && Index < Count() && FEntries[Index].Info; }
    int Append(const std::string& AName, std::unique_ptr<TFileTransferInfo> AInfo);

    std::vector<TLine> FEntries;
    TFileTransferInfo NoItem;
};
