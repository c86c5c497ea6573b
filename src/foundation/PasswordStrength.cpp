#include "foundation/PasswordStrength.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct TPasswordStats
{
    int Len = 0;
    int Upper = 0;
    int Lower = 0;
    int Digits = 0;
    int Symbols = 0;
    int MidChar = 0;
    int Requirements = 0;
    int LettersOnly = 0;
    int NumbersOnly = 0;
    int RepChar = 0;
    long double RepInc = 0;
    int ConsecUpper = 0;
    int ConsecLower = 0;
    int ConsecNumber = 0;
    int SeqAlpha = 0;
    int SeqNumber = 0;
    int SeqSymbol = 0;
};

void ClearPasswordStats(TPasswordStats& stats)
{
    stats = TPasswordStats{};
}

// Characters of a UTF-8 text; each byte of an invalid sequence counts as one character.
std::vector<uint32_t> Characters(std::string_view s)
{
    std::vector<uint32_t> out;
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out.push_back(0x80000000u | b);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

std::vector<uint32_t> ReverseString(std::vector<uint32_t> s)
{
    return {s.rbegin(), s.rend()};
}

bool Contains(const std::vector<uint32_t>& text, const std::vector<uint32_t>& run)
{
    if (run.size() > text.size())
        return false;
    for (size_t i = 0; i + run.size() <= text.size(); ++i) {
        bool eq = true;
        for (size_t k = 0; k < run.size() && eq; ++k)
            eq = text[i + k] == run[k];
        if (eq)
            return true;
    }
    return false;
}

int CountRuns(const std::vector<uint32_t>& text, std::string_view alphabet)
{
    int count = 0;
    for (size_t i = 0; i + 3 <= alphabet.size(); ++i) {
        std::vector<uint32_t> run(alphabet.begin() + i, alphabet.begin() + i + 3);
        if (Contains(text, run) || Contains(text, ReverseString(run)))
            ++count;
    }
    return count;
}

void AnalysePassword(std::string_view Text, TPasswordStats& stats)
{
    ClearPasswordStats(stats);
    std::vector<uint32_t> s;
    for (uint32_t c : Characters(Text))
        if (c != ' ')
            s.push_back(c);
    const int len = static_cast<int>(s.size());
    stats.Len = len;
    int lastUpper = -2, lastLower = -2, lastDigit = -2;
    for (int i = 0; i < len; ++i) {
        uint32_t c = s[i];
        bool inner = i > 0 && i < len - 1;
        if (c >= 'A' && c <= 'Z') {
            if (lastUpper == i - 1)
                ++stats.ConsecUpper;
            lastUpper = i;
            ++stats.Upper;
        } else if (c >= 'a' && c <= 'z') {
            if (lastLower == i - 1)
                ++stats.ConsecLower;
            lastLower = i;
            ++stats.Lower;
        } else if (c >= '0' && c <= '9') {
            if (inner)
                ++stats.MidChar;
            if (lastDigit == i - 1)
                ++stats.ConsecNumber;
            lastDigit = i;
            ++stats.Digits;
        } else {
            if (inner)
                ++stats.MidChar;
            ++stats.Symbols;
        }
        bool repeated = false;
        for (int j = 0; j < len; ++j)
            if (j != i && s[j] == c) {
                repeated = true;
                stats.RepInc += static_cast<long double>(len) / std::abs(j - i);
            }
        if (repeated) {
            ++stats.RepChar;
            int unique = len - stats.RepChar;
            stats.RepInc = unique != 0 ? std::ceil(stats.RepInc / unique) : std::ceil(stats.RepInc);
        }
    }
    std::vector<uint32_t> lower(s);
    for (auto& c : lower)
        if (c >= 'A' && c <= 'Z')
            c += 32;
    stats.SeqAlpha = CountRuns(lower, "abcdefghijklmnopqrstuvwxyz");
    stats.SeqNumber = CountRuns(lower, "0123456789");
    stats.SeqSymbol = CountRuns(lower, "!@#$%^&+-/*=?()[]{}~");
    if (stats.Upper + stats.Lower > 0 && stats.Symbols == 0 && stats.Digits == 0)
        stats.LettersOnly = len;
    if (stats.Upper + stats.Lower == 0 && stats.Symbols == 0 && stats.Digits > 0)
        stats.NumbersOnly = len;
    stats.Requirements =
        (len >= 8) + (stats.Upper >= 1) + (stats.Lower >= 1) + (stats.Digits >= 1) + (stats.Symbols >= 1);
}

int ScorePasswordStats(const TPasswordStats& st)
{
    long long score = 4LL * st.Len;
    if (st.Upper > 0 && st.Upper < st.Len)
        score += 2LL * (st.Len - st.Upper);
    if (st.Lower > 0 && st.Lower < st.Len)
        score += 2LL * (st.Len - st.Lower);
    if (st.Digits > 0 && st.Digits < st.Len)
        score += 4LL * st.Digits;
    score += 6LL * st.Symbols;
    if (st.NumbersOnly == 0)
        score += 2LL * st.MidChar;
    if (st.Requirements > 3)
        score += 2LL * st.Requirements;
    score -= st.LettersOnly + st.NumbersOnly;
    score -= static_cast<long long>(st.RepInc);
    score -= 2LL * (st.ConsecUpper + st.ConsecLower + st.ConsecNumber);
    score -= 3LL * (st.SeqAlpha + st.SeqNumber + st.SeqSymbol);
    if (score < 0)
        score = 0;
    if (score > 500)
        score = 500;
    double rating = (1.0 - std::exp(-static_cast<double>(score) / 100.0) / 0.993) * 100.0;
    return static_cast<int>(std::nearbyint(rating));
}

} // namespace

int GetPasswordStrength(std::string_view Text)
{
    TPasswordStats stats;
    AnalysePassword(Text, stats);
    return ScorePasswordStats(stats);
}
