#include "tools/QvFileList.h"

#include <algorithm>
#include <cmath>

#include "archive/EngineFs.h"

bool IsFileEntry(TFileType AType)
{
    return AType == ftFile || AType == ftLink;
}

bool IsDirEntry(TFileType AType, bool AWithEmpty)
{
    return AType == ftDir || (AWithEmpty && AType == ftEmpty);
}

// --- TFileTransferInfo

TFileTransferInfo::TFileTransferInfo(TFileType AType, const std::string& ASource, const std::string& ADest,
                                     TDateTime ATmSt, int AAttr, int AIndex, int64_t AUSize, int64_t AFSize,
                                     bool AComp, bool AZip, bool AEnc, bool ASel)
    : IsSelected(ASel), Compressed(AComp), ZipCompressed(AZip), Encrypted(AEnc), FSource(ASource),
      FDest(ADest), FTimeStamp(ATmSt), DirIndex(AIndex), FAttr(AAttr), USize(AUSize), FSize(AFSize)
{
    SetTypeAndName(AType);
}

TFileTransferInfo::TFileTransferInfo(TFileType AType, const std::string& ASource, const std::string& ADest,
                                     TDateTime ATmSt, int64_t AFSize, int AAttr)
    : FSource(ASource), FDest(ADest), FTimeStamp(ATmSt), FAttr(AAttr), FSize(AFSize)
{
    SetTypeAndName(AType);
}

std::unique_ptr<TFileTransferInfo> TFileTransferInfo::CreateAndSelect(TFileType AType,
                                                                      const std::string& ASource,
                                                                      const std::string& ADest,
                                                                      TDateTime ATmSt, int AAttr, bool AComp)
{
    return std::make_unique<TFileTransferInfo>(AType, ASource, ADest, ATmSt, AAttr, 0, 0, 0, AComp, false,
                                               false, true);
}

void TFileTransferInfo::SetTypeAndName(TFileType AType)
{
    FromZip = AType == ftZipFile;
    FType = FromZip ? ftFile : AType;
    FName = EngineFs::ExtractFileName(FDest);
}

// --- TFileTransferList

TFileTransferList::TFileTransferList() : NoItem(ftNone, "", "", Now(), 0, 0) {}

const std::string& TFileTransferList::Strings(int Index) const
{
    static const std::string empty;
    return Index >= 0 && Index < Count() ? FEntries[Index].Name : empty;
}

void TFileTransferList::Clear()
{
    FEntries.clear();
}

int TFileTransferList::Append(const std::string& AName, std::unique_ptr<TFileTransferInfo> AInfo)
{
    FEntries.push_back({AName, std::move(AInfo)});
    return Count() - 1;
}

int TFileTransferList::AddItem(const std::string& AName, TFileType AType, const std::string& ASource,
                               const std::string& ADest, TDateTime ATmSt, int AAttr, int AIndex,
                               int64_t AUSize, int64_t AFSize, bool AComp, bool AZip, bool AEnc, bool ASel)
{
    return Append(AName, std::make_unique<TFileTransferInfo>(AType, ASource, ADest, ATmSt, AAttr, AIndex,
                                                             AUSize, AFSize, AComp, AZip, AEnc, ASel));
}

int TFileTransferList::AddItem(const std::string& AName, TFileType AType, const std::string& ASource,
                               const std::string& ADest, TDateTime ATmSt, int AAttr)
{
    return Append(AName,
                  std::make_unique<TFileTransferInfo>(AType, ASource, ADest, ATmSt, int64_t{0}, AAttr));
}

int TFileTransferList::AddItem(const std::string& AName, TFileType AType, const std::string& ASource,
                               TDateTime ATmSt, int64_t AFSize, int AAttr)
{
    return Append(AName, std::make_unique<TFileTransferInfo>(AType, ASource, "", ATmSt, AFSize, AAttr));
}

int TFileTransferList::AddError(const std::string& AMsg)
{
    return Append(AMsg, std::make_unique<TFileTransferInfo>(ftError, "", "", 0.0, int64_t{0}, 0));
}

int TFileTransferList::AddAndSelectItem(const std::string& AName, TFileType AType, const std::string& ASource,
                                        const std::string& ADest, TDateTime ATmSt, int AAttr, bool AComp)
{
    return Append(AName, TFileTransferInfo::CreateAndSelect(AType, ASource, ADest, ATmSt, AAttr, AComp));
}

void TFileTransferList::UpdateItem(int FIndex, const std::string& ASource, TDateTime ATmSt, int AAttr,
                                   int AIndex, int64_t AUSize, int64_t AFSize, bool AComp, bool AZip,
                                   bool AEnc)
{
    if (!Valid(FIndex))
        return;
    TFileTransferInfo& e = *FEntries[FIndex].Info;
    if (!(ATmSt > e.FTimeStamp))
        return;
    e.FSource = ASource;
    e.FTimeStamp = ATmSt;
    e.FAttr = AAttr;
    e.DirIndex = AIndex;
    e.USize = AUSize;
    e.FSize = AFSize;
    e.Compressed = AComp;
    e.ZipCompressed = AZip;
    e.Encrypted = AEnc;
}

void TFileTransferList::SetError(int FIndex, const std::string& AMsg)
{
    if (!Valid(FIndex))
        return;
    FEntries[FIndex].Info->FType = ftError;
    FEntries[FIndex].Name = AMsg;
}

void TFileTransferList::UpdateIndex(int FIndex, int AIndex)
{
    if (Valid(FIndex))
        FEntries[FIndex].Info->DirIndex = AIndex;
}

int TFileTransferList::IndexOfDestFile(const std::string& FileName) const
{
    for (int i = 0; i < Count(); ++i)
        if (FEntries[i].Info && FEntries[i].Info->FDest == FileName)
            return i;
    return -1;
}

int TFileTransferList::IndexOfSourceFile(const std::string& FileName, int MaxCount) const
{
    const int n = MaxCount < 0 ? Count() : std::min(MaxCount, Count());
    for (int i = 0; i < n; ++i)
        if (FEntries[i].Info && FEntries[i].Info->FSource == FileName)
            return i;
    return -1;
}

namespace {

int64_t MilliSeconds(TDateTime t)
{
    return std::llround(t * MSecsPerDay);
}

} // namespace

void TFileTransferList::SortByDate()
{
    std::sort(FEntries.begin(), FEntries.end(), [](const TLine& a, const TLine& b) {
        const int64_t ta = a.Info ? MilliSeconds(a.Info->FTimeStamp) : 0;
        const int64_t tb = b.Info ? MilliSeconds(b.Info->FTimeStamp) : 0;
        return ta < tb;
    });
}

void TFileTransferList::SortBySize()
{
    std::sort(FEntries.begin(), FEntries.end(), [](const TLine& a, const TLine& b) {
        const int64_t sa = a.Info ? a.Info->FSize : 0;
        const int64_t sb = b.Info ? b.Info->FSize : 0;
        return sa > sb;
    });
}

void TFileTransferList::RemoveEntry(int Index)
{
    if (Index >= 0 && Index < Count())
        FEntries.erase(FEntries.begin() + Index);
}

TFileTransferInfo& TFileTransferList::Items(int Index)
{
    return Valid(Index) ? *FEntries[Index].Info : NoItem;
}

const TFileTransferInfo& TFileTransferList::Items(int Index) const
{
    return Valid(Index) ? *FEntries[Index].Info : NoItem;
}

TFileType TFileTransferList::FileType(int Index) const
{
    return Valid(Index) ? FEntries[Index].Info->FType : ftNone;
}

void TFileTransferList::SetFileType(int Index, TFileType ft)
{
    if (Valid(Index))
        FEntries[Index].Info->FType = ft;
}

bool TFileTransferList::Selected(int Index) const
{
    return Valid(Index) && FEntries[Index].Info->IsSelected;
}

void TFileTransferList::SetSelected(int Index, bool sel)
{
    if (Valid(Index))
        FEntries[Index].Info->IsSelected = sel;
}
