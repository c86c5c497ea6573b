#pragma once
// One source folder of a backup task: the folder, the file types to include or exclude with their
// statistics, file-name and file-type filters, time window, size limits, attribute conditions, the
// tagged subfolders and the counters of the last scan.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/TimePeriod.h"
#include "foundation/BuConsts.h"
#include "foundation/TextFilter.h"
#include "platform/PosixFiles.h"
#include "rtl/StringList.h"

// Statistics of one file type.
class TExtListData
{
public:
    TExtListData() = default;
    void Reset()
    {
        FileCount = 0;
        SizeCount = 0;
    }
    int32_t Index = 0;
    int32_t FileCount = 0;
    int64_t SizeCount = 0;
};

// File-type names (upper case, "<ohne>" for files without extension) each with its statistics.
// Names compare ignoring case; adding a name that is present does nothing.
class TTypeList
{
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Names(int i) const { return FItems.at(static_cast<size_t>(i)).first; }
    TExtListData& Data(int i) { return FItems.at(static_cast<size_t>(i)).second; }
    const TExtListData& Data(int i) const { return FItems.at(static_cast<size_t>(i)).second; }
    int IndexOf(std::string_view name) const;
    // Returns the index of the name (the present one for a duplicate); new entries get data whose
    // Index is their position.
    int Add(std::string_view name);
    void Clear() { FItems.clear(); }
    // Comma text of the names; setting it gives every entry fresh statistics.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

private:
    std::vector<std::pair<std::string, TExtListData>> FItems;
};

// Appends every name of Source to Dest with fresh statistics.
void CopyTypeNames(const TTypeList& Source, TTypeList& Dest);

enum TSubDirMode
{
    sdmNormal,
    sdmFiles,
    sdmPortable
};

enum TAttrMode : uint8_t
{
    amIgnore,
    amInclude,
    amExclude
};

struct TAttributes
{
    TAttrMode Archive = amIgnore;
    TAttrMode ReadOnly = amIgnore;
    TAttrMode Hidden = amIgnore;
    TAttrMode System = amIgnore;
};
// The task-file form: two bits each, Archive in bits 0-1, ReadOnly 2-3, Hidden 4-5, System 6-7.
int PackAttributes(const TAttributes& a);
TAttributes UnpackAttributes(int value);

struct TSizeLimits
{
    TSizeMode Mode = szAll;
    int64_t MinSize = 0;
    int64_t MaxSize = int64_t(16) << 30;
};

// Data of one node of the editor's subfolder tree.
class TNodeData
{
public:
    TNodeData(std::string ADir, std::string ALinkName, bool ALocked)
        : Directory(std::move(ADir)), LinkName(std::move(ALinkName)), Locked(ALocked)
    {
    }
    std::string Directory;
    std::string LinkName;
    bool Locked;
};

// The type name of a file: its extension in upper case, "<ohne>" without one.
std::string FileTypeName(std::string_view FileName);

class TExtensionList
{
public:
    TExtensionList(const TTimePeriod& NewPeriod, TSubDirMode ASubDirMode);
    // A copy of another object (CreateAssign).
    static std::unique_ptr<TExtensionList> CreateAssign(const TExtensionList& AExtensionList);
    TExtensionList(const TExtensionList&) = delete;
    TExtensionList& operator=(const TExtensionList&) = delete;

    void Assign(const TExtensionList& AListe);
    // Back to "all types", without type entries and scan counters; saved counters, the name filter,
    // time window, sizes, attributes and subfolders stay.
    void Clear();
    // Zeroes the statistics of every type entry and the scan counters.
    void Reset();
    // Takes over only the type selection of AList and turns the name filter off.
    void CopyFilter(const TExtensionList& AList);

    // The selection rules of a backup scan.
    bool TypePasses(std::string_view TypeName) const;
    bool NameFilterPasses(std::string_view FileName) const { return FFilter.MatchesFilter(FileName); }
    bool AttributesPass(uint32_t Attr) const;
    bool SizePasses(int64_t Size) const;

    TTypeList Include;
    TTypeList Exclude;
    TIncludeMode InclMode = buExclude;
    TSubDirMode SubDirMode;
    int32_t SCount = 0;
    int32_t TCount = 0;
    int32_t ICount = 0;
    int32_t ECount = 0;
    int64_t SBytes = 0;
    int64_t IBytes = 0;
    int64_t EBytes = 0;
    uint32_t SSyncCount = 0;
    uint32_t SyncCount = 0;
    bool IsAvailable = false;
    bool Selected = true;
    bool IncludeDirs = false;
    bool DoUpdate = false;
    std::string VName;
    std::string VPath;
    std::string SPath;
    TTextFilter EFilter;
    TTextFilter FFilter;
    TTimePeriod TmPeriod;
    TSizeLimits SizeLimits;
    TAttributes Attributes;
    TStringList DirMask;
    TStringList SubDirList;

private:
    void Init(const TTimePeriod& NewPeriod, TSubDirMode ASubDirMode);
};

// Whether a time passes a time window: today is the current date, LastBackup the task's last run.
bool TimePasses(const TTimePeriod& Period, TDateTime Time, TDateTime Today, TDateTime LastBackup);
// The window applied to a file's modification and creation times (TmRef decides which count).
bool FileTimesPass(const TTimePeriod& Period, TDateTime Modified, TDateTime Created, TDateTime Today,
                   TDateTime LastBackup);
