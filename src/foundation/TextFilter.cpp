#include "foundation/TextFilter.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <vector>

#include "foundation/Masks.h"
#include "rtl/Gettext.h"

struct TTextFilter::TRegex
{
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    ~TRegex()
    {
        if (data)
            pcre2_match_data_free(data);
        if (code)
            pcre2_code_free(code);
    }
};

namespace {

std::vector<std::string_view> SplitMasks(std::string_view list, char sep)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    while (true) {
        size_t p = list.find(sep, start);
        if (p == std::string_view::npos) {
            out.push_back(list.substr(start));
            break;
        }
        out.push_back(list.substr(start, p - start));
        start = p + 1;
    }
    return out;
}

// The extension rule of file names: a "." after the first character following the last "/"
// ("readme." has the extension ".", ".bashrc" has none).
bool HasExtension(std::string_view name)
{
    size_t start = name.rfind('/');
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot > start;
}

} // namespace

TTextFilter::TTextFilter(bool AIsFileFilter, bool AIgnoreCase)
    : FIsFileFilter(AIsFileFilter), FIgnoreCase(AIgnoreCase)
{
    Reset();
}

TTextFilter::~TTextFilter() = default;

void TTextFilter::Reset()
{
    FRegExp = false;
    FMode = fmOff;
    FMask = "*";
}

void TTextFilter::Assign(const TTextFilter& AFilter)
{
    if (&AFilter == this)
        return;
    FRegExp = AFilter.FRegExp;
    FMode = AFilter.FMode;
    FMask = AFilter.FMask;
    FSep = AFilter.FSep;
    // The copy filters like its source: the expression comes along.
    FPattern = AFilter.FPattern;
    if (FPattern.empty())
        FRegex.reset();
    else
        CompileRegex(FPattern);
}

std::string TTextFilter::GetFilter() const
{
    return FRegExp ? FPattern : FMask;
}

bool TTextFilter::CompileRegex(const std::string& pattern)
{
    FRegex.reset();
    uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (FIgnoreCase)
        options |= PCRE2_CASELESS;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                                     &errorCode, &errorOffset, nullptr);
    if (!code)
        return false;
    auto regex = std::make_unique<TRegex>();
    regex->code = code;
    regex->data = pcre2_match_data_create_from_pattern(code, nullptr);
    if (!regex->data)
        return false;
    FRegex = std::move(regex);
    return true;
}

void TTextFilter::SetFilter(std::string_view Value)
{
    if (FRegExp) {
        if (Value.empty()) {
            FPattern = ".";
            CompileRegex(FPattern);
            return;
        }
        FPattern = std::string(Value);
        bool ok = CompileRegex(FPattern);
        if (ok) {
            static const char probe[] = "xyz";
            int rc = pcre2_match(FRegex->code, reinterpret_cast<PCRE2_SPTR>(probe), 3, 0, 0, FRegex->data,
                                 nullptr);
            ok = rc >= 0 || rc == PCRE2_ERROR_NOMATCH;
        }
        if (!ok) {
            FPattern = ".";
            CompileRegex(FPattern);
            throw EFilterError(_("Illegal regular expression!"));
        }
        return;
    }
    if (Value.empty()) {
        FMask = "*";
        return;
    }
    std::string list;
    if (FIsFileFilter) {
        bool first = true;
        for (auto mask : SplitMasks(Value, FSep)) {
            if (!first)
                list += FSep;
            first = false;
            list += mask;
            if (!mask.empty() && !HasExtension(mask))
                list += ".*";
        }
    } else {
        list = std::string(Value);
    }
    FMask = list;
    std::string_view masks = FMask;
    if (!masks.empty() && masks.front() == '+')
        masks.remove_prefix(1);
    for (auto mask : SplitMasks(masks, FSep)) {
        if (!mask.empty() && mask.front() == '!')
            mask.remove_prefix(1);
        if (!IsValidMask(mask)) {
            FMask = "*";
            throw EFilterError(_("Illegal mask!"));
        }
    }
}

bool TTextFilter::MatchesFilter(std::string_view AText) const
{
    if (FMode == fmOff)
        return true;
    bool result = true;
    if (FRegExp) {
        if (!FRegex) {
            result = true; // the empty expression of a fresh filter matches everything
        } else {
            int rc = pcre2_match(FRegex->code, reinterpret_cast<PCRE2_SPTR>(AText.data()), AText.size(), 0, 0,
                                 FRegex->data, nullptr);
            result = rc >= 0;
        }
    } else if (!FMask.empty()) {
        std::string_view list = FMask;
        bool all = list.front() == '+';
        if (all)
            list.remove_prefix(1);
        auto masks = SplitMasks(list, FSep);
        for (size_t i = 0; i < masks.size(); ++i) {
            std::string_view mask = masks[i];
            if (!mask.empty()) {
                bool negate = mask.front() == '!';
                if (negate)
                    mask.remove_prefix(1);
                std::string text(AText);
                if (FIsFileFilter && !mask.empty() && mask.back() == '.' && !HasExtension(AText))
                    text += '.';
                bool matched = false;
                bool m = TryMatchesMask(text, mask, matched) ? (matched != negate) : false;
                result = all ? (result && m) : m;
            }
            if (result != all)
                break;
        }
    }
    if (FMode == fmExclude)
        result = !result;
    return result;
}
