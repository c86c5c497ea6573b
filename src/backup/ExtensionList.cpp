#include "backup/ExtensionList.h"

#include <cmath>

#include "foundation/PathUtils.h"

namespace {

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

bool AttrConditionHolds(TAttrMode mode, bool set)
{
    return mode == amIgnore || (mode == amInclude && set) || (mode == amExclude && !set);
}

} // namespace

int TTypeList::IndexOf(std::string_view name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i].first, name))
            return static_cast<int>(i);
    return -1;
}

int TTypeList::Add(std::string_view name)
{
    int index = IndexOf(name);
    if (index >= 0)
        return index;
    TExtListData data;
    data.Index = Count();
    FItems.emplace_back(std::string(name), data);
    return Count() - 1;
}

std::string TTypeList::CommaText() const
{
    TStringList list;
    for (const auto& item : FItems)
        list.Add(item.first);
    return list.CommaText();
}

void TTypeList::SetCommaText(std::string_view text)
{
    Clear();
    TStringList list;
    list.SetCommaText(text);
    for (const auto& name : list)
        Add(name);
}

void CopyTypeNames(const TTypeList& Source, TTypeList& Dest)
{
    for (int i = 0; i < Source.Count(); ++i)
        Dest.Add(Source.Names(i));
}

int PackAttributes(const TAttributes& a)
{
    return (a.Archive & 3) | ((a.ReadOnly & 3) << 2) | ((a.Hidden & 3) << 4) | ((a.System & 3) << 6);
}

TAttributes UnpackAttributes(int value)
{
    auto mode = [](int bits) { return bits <= amExclude ? static_cast<TAttrMode>(bits) : amIgnore; };
    TAttributes a;
    a.Archive = mode(value & 3);
    a.ReadOnly = mode((value >> 2) & 3);
    a.Hidden = mode((value >> 4) & 3);
    a.System = mode((value >> 6) & 3);
    return a;
}

std::string FileTypeName(std::string_view FileName)
{
    std::string ext = ExtractExtension(FileName);
    if (ext.empty())
        return "<ohne>";
    for (char& c : ext)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return ext;
}

TExtensionList::TExtensionList(const TTimePeriod& NewPeriod, TSubDirMode ASubDirMode)
    : SubDirMode(ASubDirMode), EFilter(false, true), FFilter(ASubDirMode == sdmNormal, true)
{
    Selected = true;
    IsAvailable = false;
    Init(NewPeriod, ASubDirMode);
}

void TExtensionList::Init(const TTimePeriod& NewPeriod, TSubDirMode /*ASubDirMode*/)
{
    Include.Clear();
    Exclude.Clear();
    InclMode = buExclude;
    SCount = TCount = ICount = ECount = 0;
    SBytes = IBytes = EBytes = 0;
    SSyncCount = SyncCount = 0;
    IncludeDirs = false;
    DoUpdate = false;
    VName.clear();
    VPath.clear();
    SPath.clear();
    EFilter.Reset();
    FFilter.Reset();
    TmPeriod = NewPeriod;
    TmPeriod.Mode = tmAll;
    TmPeriod.Days = 1;
    SizeLimits = TSizeLimits{};
    Attributes = TAttributes{};
    DirMask.Clear();
    SubDirList.Clear();
    SubDirList.CaseSensitive = false;
    SubDirList.Duplicates = dupIgnore;
    SubDirList.Sorted = true;
}

std::unique_ptr<TExtensionList> TExtensionList::CreateAssign(const TExtensionList& AExtensionList)
{
    auto list = std::make_unique<TExtensionList>(AExtensionList.TmPeriod, AExtensionList.SubDirMode);
    list->Assign(AExtensionList);
    return list;
}

void TExtensionList::Assign(const TExtensionList& AListe)
{
    if (&AListe == this)
        return;
    Clear();
    Include = AListe.Include;
    Exclude = AListe.Exclude;
    Selected = AListe.Selected;
    IsAvailable = AListe.IsAvailable;
    SubDirMode = AListe.SubDirMode;
    InclMode = AListe.InclMode;
    SCount = AListe.SCount;
    TCount = AListe.TCount;
    ICount = AListe.ICount;
    ECount = AListe.ECount;
    SBytes = AListe.SBytes;
    IBytes = AListe.IBytes;
    EBytes = AListe.EBytes;
    SSyncCount = AListe.SSyncCount;
    SyncCount = AListe.SyncCount;
    IncludeDirs = AListe.IncludeDirs;
    DoUpdate = AListe.DoUpdate;
    VName = AListe.VName;
    VPath = AListe.VPath;
    SPath = AListe.SPath;
    EFilter.Assign(AListe.EFilter);
    FFilter.Assign(AListe.FFilter);
    TmPeriod = AListe.TmPeriod;
    SizeLimits = AListe.SizeLimits;
    Attributes = AListe.Attributes;
    DirMask = AListe.DirMask;
    SubDirList = AListe.SubDirList;
}

void TExtensionList::Clear()
{
    InclMode = buExclude;
    Include.Clear();
    Exclude.Clear();
    EFilter.Reset();
    ICount = ECount = TCount = 0;
    IBytes = EBytes = 0;
}

void TExtensionList::Reset()
{
    for (int i = 0; i < Include.Count(); ++i)
        Include.Data(i).Reset();
    for (int i = 0; i < Exclude.Count(); ++i)
        Exclude.Data(i).Reset();
    ICount = ECount = TCount = 0;
    IBytes = EBytes = 0;
}

void TExtensionList::CopyFilter(const TExtensionList& AList)
{
    Clear();
    InclMode = AList.InclMode;
    if (InclMode == buExclude)
        CopyTypeNames(AList.Exclude, Exclude);
    else
        CopyTypeNames(AList.Include, Include);
    FFilter.SetMode(fmOff);
}

bool TExtensionList::TypePasses(std::string_view TypeName) const
{
    if (EFilter.Mode() != fmOff)
        return EFilter.MatchesFilter(TypeName);
    if (InclMode == buInclude)
        return Include.IndexOf(TypeName) >= 0;
    return Exclude.IndexOf(TypeName) < 0;
}

bool TExtensionList::AttributesPass(uint32_t Attr) const
{
    return AttrConditionHolds(Attributes.Archive, Attr & faArchive) &&
           AttrConditionHolds(Attributes.ReadOnly, Attr & faReadOnly) &&
           AttrConditionHolds(Attributes.Hidden, Attr & faHidden) &&
           AttrConditionHolds(Attributes.System, Attr & faSysFile);
}

bool TExtensionList::SizePasses(int64_t Size) const
{
    switch (SizeLimits.Mode) {
    case szAll:
        return true;
    case szSmaller:
        return Size < SizeLimits.MaxSize;
    case szLarger:
        return Size > SizeLimits.MinSize;
    case szBetween:
        return Size >= SizeLimits.MinSize && Size <= SizeLimits.MaxSize;
    }
    return false;
}

bool TimePasses(const TTimePeriod& Period, TDateTime Time, TDateTime Today, TDateTime LastBackup)
{
    TDateTime today = std::floor(Today);
    switch (Period.Mode) {
    case tmAll:
        return true;
    case tmNewer:
        return Time >= Period.Dat1;
    case tmOlder:
        return Time < Period.Dat2;
    case tmSpan:
        return Time >= Period.Dat1 && Time < Period.Dat2 + 1;
    case tmToday:
        return Time >= today + Period.DayTime;
    case tmLastDays:
        return std::floor(Time) >= today - Period.Days;
    case tmPrevDays:
        return std::floor(Time) < today - Period.Days;
    case tmUpdate:
        return Time > LastBackup;
    default:
        return false;
    }
}

bool FileTimesPass(const TTimePeriod& Period, TDateTime Modified, TDateTime Created, TDateTime Today,
                   TDateTime LastBackup)
{
    switch (Period.TmRef) {
    case trCreate:
        return TimePasses(Period, Created, Today, LastBackup);
    case trBoth:
        return TimePasses(Period, Modified, Today, LastBackup) ||
               TimePasses(Period, Created, Today, LastBackup);
    default:
        return TimePasses(Period, Modified, Today, LastBackup);
    }
}
