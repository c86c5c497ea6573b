#pragma once
// Include and exclude filters on names: a list of wildcard masks or one regular expression.

#include <memory>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

enum TFilterMode
{
    fmOff,
    fmInclude,
    fmExclude
};

class EFilterError : public Exception
{
public:
    using Exception::Exception;
};

class TTextFilter
{
public:
    // AIsFileFilter: masks are file-name masks (a mask without extension gets ".*" appended).
    TTextFilter(bool AIsFileFilter = false, bool AIgnoreCase = true);
    ~TTextFilter();
    TTextFilter(const TTextFilter&) = delete;
    TTextFilter& operator=(const TTextFilter&) = delete;

    // Not regular, mode off, mask list "*" (the regular expression stays).
    void Reset();
    // Copies the regular flag, the mode, the mask list, the separator and the regular expression.
    void Assign(const TTextFilter& AFilter);

    // The regular expression when Regular, else the mask list. Set Regular before Filter.
    std::string GetFilter() const;
    // Raises EFilterError ("Illegal regular expression!" / "Illegal mask!") after setting the
    // filter to match everything.
    void SetFilter(std::string_view Value);
    // The filter text that matches everything: "." when Regular, else "*".
    std::string MatchAll() const { return FRegExp ? "." : "*"; }

    TFilterMode Mode() const { return FMode; }
    void SetMode(TFilterMode m) { FMode = m; }
    bool Regular() const { return FRegExp; }
    void SetRegular(bool r) { FRegExp = r; }
    char Separator() const { return FSep; }
    void SetSeparator(char s) { FSep = s; }
    bool IsFileFilter() const { return FIsFileFilter; }
    bool IgnoreCase() const { return FIgnoreCase; }

    bool MatchesFilter(std::string_view AText) const;

private:
    struct TRegex;
    bool CompileRegex(const std::string& pattern);

    bool FRegExp = false;
    bool FIsFileFilter;
    bool FIgnoreCase;
    TFilterMode FMode = fmOff;
    std::string FMask = "*";
    char FSep = '|';
    std::string FPattern;
    std::unique_ptr<TRegex> FRegex;
};
