#pragma once
// Small routines of the restore program: whether a path lies inside a zip archive, where a window
// goes on its monitor, and setting a restored folder's time and attributes.

#include <string>

#include "platform/DirSearch.h"
#include "rtl/DateTime.h"

// Cuts components off the end of Path (without trailing "/") until what is left ends in ".zip" (by the
// name alone, case ignored). When found, Path becomes that archive and Inner the rest of the given
// path after it; else Inner is empty and the result false.
bool SplitZipPath(std::string& Path, std::string& Inner);
// True with an empty Inner when Path itself ends in ".zip"; otherwise, when Path holds ".zip/" (case
// ignored), Path is cut after ".zip" and Inner is what follows ".zip/".
bool SplitOpenPath(std::string& Path, std::string& Inner);
bool IsInZipArchive(const std::string& Path);
// Name made absolute against Base when Base is not empty, else Name.
std::string MakeAbsoluteTo(const std::string& Base, const std::string& Name);

struct TBoundsRect
{
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};
// Moves Rect into the work area with a margin of 50 pixels at 96 dpi (scaled to Dpi); only Left and
// Top of the result are meaningful.
TBoundsRect FitBoundsToMonitor(const TBoundsRect& WorkArea, int Dpi, const TBoundsRect& Rect);

// S without Count characters from the 1-based position Index.
std::string StrDelete(const std::string& S, int Index, int Count);

// Sets the last-write time (local date-time) of a file or folder; 0 or the system error code.
int SetFileDateTime(const std::string& Name, TDateTime DateTime);
// Sets the search record's time and adds its attributes: 0, the time error (positive) or the negated
// attribute error.
int SetTimeAndAttrFromSearchRec(const std::string& Name, const TSearchRec& SearchRec);
int XlSetTimeAndAttrFromSearchRec(const std::string& Name, const TSearchRec& SearchRec);
// True when Dir holds an entry with extension Ext (given with or without its dot).
bool FileMatchesInFolder(const std::string& Dir, const std::string& Ext);

// True when Path lies strictly below Root (both absolute; compared lexically after removing "." and
// ".." parts). The restore writes nothing that fails this test.
bool IsBelowFolder(const std::string& Root, const std::string& Path);
