#include "rtl/StringList.h"

#include <algorithm>
#include <cwctype>
#include <locale.h>
#include <numeric>

#include "rtl/SysUtils.h"

namespace {

// Decodes the code point at s[pos] and advances pos. A byte that does not start a valid sequence
// stands for itself, mapped above the Unicode range so that it never equals a real character.
uint32_t NextCodePoint(std::string_view s, size_t& pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int length = 0;
    uint32_t cp = 0;
    uint32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    }
    if (length > 0 && pos + length <= s.size()) {
        bool valid = true;
        for (int i = 1; i < length && valid; ++i) {
            const unsigned char b = byte(pos + i);
            valid = (b & 0xC0) == 0x80;
            cp = cp << 6 | (b & 0x3F);
        }
        if (valid && cp >= minimum && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
            pos += length;
            return cp;
        }
    }
    ++pos;
    return 0x110000 + b0;
}

locale_t Utf8Locale()
{
    static const locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            const locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (l != static_cast<locale_t>(nullptr))
                return l;
        }
        return static_cast<locale_t>(nullptr);
    }();
    return loc;
}

uint32_t FoldCase(uint32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    if (cp > 0x10FFFF)
        return cp;
    const locale_t loc = Utf8Locale();
    if (loc != static_cast<locale_t>(nullptr))
        return static_cast<uint32_t>(towlower_l(static_cast<wint_t>(cp), loc));
    // Without a UTF-8 locale: Latin-1 and the pairs of Latin Extended-A.
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7))
        return cp + 32;
    if (cp >= 0x100 && cp <= 0x137 && cp % 2 == 0)
        return cp + 1;
    if (cp >= 0x139 && cp <= 0x148 && cp % 2 == 1)
        return cp + 1;
    if (cp >= 0x14A && cp <= 0x177 && cp % 2 == 0)
        return cp + 1;
    if (cp == 0x178)
        return 0xFF;
    if ((cp == 0x179 || cp == 0x17B || cp == 0x17D))
        return cp + 1;
    return cp;
}

int CompareText(std::string_view a, std::string_view b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const uint32_t ca = FoldCase(NextCodePoint(a, i));
        const uint32_t cb = FoldCase(NextCodePoint(b, j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

int CompareBytes(std::string_view a, std::string_view b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool IsBlank(char c)
{
    return c >= 1 && c <= ' ';
}

[[noreturn]] void RaiseIndex(int index)
{
    throw EArgumentError(Format("List index out of bounds (%d)", {index}));
}

[[noreturn]] void RaiseSorted()
{
    throw EArgumentError("Operation not allowed on sorted list");
}

} // namespace

TStringList::TStringList(std::initializer_list<std::string> items)
{
    for (const std::string& s : items)
        Add(s);
}

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        RaiseIndex(index);
}

const std::string& TStringList::operator[](int index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)];
}

void TStringList::SetString(int index, std::string s)
{
    if (Sorted)
        RaiseSorted();
    CheckIndex(index);
    FItems[static_cast<size_t>(index)] = std::move(s);
    FOrderedAs = -1;
}

intptr_t TStringList::Objects(int index) const
{
    CheckIndex(index);
    return FObjects[static_cast<size_t>(index)];
}

void TStringList::SetObject(int index, intptr_t obj)
{
    CheckIndex(index);
    FObjects[static_cast<size_t>(index)] = obj;
}

int TStringList::Add(std::string s)
{
    return AddObject(std::move(s), 0);
}

int TStringList::AddObject(std::string s, intptr_t obj)
{
    if (!Sorted) {
        FItems.push_back(std::move(s));
        FObjects.push_back(obj);
        FOrderedAs = -1;
        return Count() - 1;
    }
    EnsureOrder();
    int index = 0;
    if (Find(s, index)) {
        if (Duplicates == dupIgnore)
            return index;
        if (Duplicates == dupError)
            throw EArgumentError("String list does not allow duplicates");
    }
    FItems.insert(FItems.begin() + index, std::move(s));
    FObjects.insert(FObjects.begin() + index, obj);
    return index;
}

void TStringList::AddStrings(const TStringList& other)
{
    if (&other == this) {
        const TStringList copy = other;
        AddStrings(copy);
        return;
    }
    for (int i = 0; i < other.Count(); ++i)
        AddObject(other.FItems[static_cast<size_t>(i)], other.FObjects[static_cast<size_t>(i)]);
}

void TStringList::Insert(int index, std::string s)
{
    if (Sorted)
        RaiseSorted();
    if (index < 0 || index > Count())
        RaiseIndex(index);
    FItems.insert(FItems.begin() + index, std::move(s));
    FObjects.insert(FObjects.begin() + index, 0);
    FOrderedAs = -1;
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
    FObjects.erase(FObjects.begin() + index);
}

void TStringList::Clear()
{
    FItems.clear();
    FObjects.clear();
    FOrderedAs = -1;
}

void TStringList::Exchange(int a, int b)
{
    CheckIndex(a);
    CheckIndex(b);
    std::swap(FItems[static_cast<size_t>(a)], FItems[static_cast<size_t>(b)]);
    std::swap(FObjects[static_cast<size_t>(a)], FObjects[static_cast<size_t>(b)]);
    FOrderedAs = -1;
}

void TStringList::Move(int from, int to)
{
    if (from == to) {
        CheckIndex(from);
        return;
    }
    if (Sorted)
        RaiseSorted();
    CheckIndex(from);
    CheckIndex(to);
    std::string item = std::move(FItems[static_cast<size_t>(from)]);
    const intptr_t obj = FObjects[static_cast<size_t>(from)];
    FItems.erase(FItems.begin() + from);
    FObjects.erase(FObjects.begin() + from);
    FItems.insert(FItems.begin() + to, std::move(item));
    FObjects.insert(FObjects.begin() + to, obj);
    FOrderedAs = -1;
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const
{
    return CaseSensitive ? CompareBytes(a, b) : CompareText(a, b);
}

bool TStringList::IsOrdered() const
{
    return FOrderedAs == (CaseSensitive ? 1 : 0);
}

void TStringList::EnsureOrder()
{
    if (!IsOrdered())
        Sort();
}

int TStringList::IndexOf(std::string_view s) const
{
    if (Sorted && IsOrdered()) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(FItems[static_cast<size_t>(i)], s) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfName(std::string_view name) const
{
    for (int i = 0; i < Count(); ++i) {
        const std::string& item = FItems[static_cast<size_t>(i)];
        const size_t sep = item.find(NameValueSeparator);
        if (sep != std::string::npos && CompareStrings(std::string_view(item).substr(0, sep), name) == 0)
            return i;
    }
    return -1;
}

bool TStringList::Find(std::string_view s, int& index) const
{
    if (!IsOrdered()) {
        // Not (yet) in order: the answer a sorted copy would give.
        int before = 0;
        int found = -1;
        for (int i = 0; i < Count(); ++i) {
            const int c = CompareStrings(FItems[static_cast<size_t>(i)], s);
            if (c < 0)
                ++before;
            else if (c == 0 && found < 0)
                found = i;
        }
        index = found >= 0 ? found : before;
        return found >= 0;
    }
    // The first item not less than s.
    int low = 0;
    int high = Count();
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (CompareStrings(FItems[static_cast<size_t>(mid)], s) < 0)
            low = mid + 1;
        else
            high = mid;
    }
    index = low;
    return low < Count() && CompareStrings(FItems[static_cast<size_t>(low)], s) == 0;
}

std::string TStringList::Names(int index) const
{
    const std::string& item = (*this)[index];
    const size_t sep = item.find(NameValueSeparator);
    return sep == std::string::npos ? std::string() : item.substr(0, sep);
}

std::string TStringList::ValueFromIndex(int index) const
{
    const std::string& item = (*this)[index];
    const size_t sep = item.find(NameValueSeparator);
    return sep == std::string::npos ? std::string() : item.substr(sep + 1);
}

std::string TStringList::Values(std::string_view name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStringList::SetValue(std::string_view name, std::string_view value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    std::string item = std::string(name) + NameValueSeparator + std::string(value);
    if (index < 0) {
        Add(std::move(item));
    } else if (Sorted) {
        const intptr_t obj = FObjects[static_cast<size_t>(index)];
        Delete(index);
        AddObject(std::move(item), obj);
    } else {
        FItems[static_cast<size_t>(index)] = std::move(item);
        FOrderedAs = -1;
    }
}

std::string TStringList::Quoted(std::string_view s, char delimiter, char quote) const
{
    bool needsQuotes = false;
    for (char c : s)
        if (c == delimiter || c == quote || (!StrictDelimiter && IsBlank(c)) || c == 0)
            needsQuotes = true;
    if (!needsQuotes)
        return std::string(s);
    std::string result(1, quote);
    for (char c : s) {
        result += c;
        if (c == quote)
            result += quote;
    }
    result += quote;
    return result;
}

std::string TStringList::JoinDelimited(char delimiter, char quote) const
{
    if (Count() == 1 && FItems[0].empty())
        return std::string(2, quote);
    std::string result;
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (i > 0)
            result += delimiter;
        result += Quoted(FItems[i], delimiter, quote);
    }
    return result;
}

void TStringList::SplitDelimited(std::string_view text, char delimiter, char quote)
{
    Clear();
    size_t p = 0;
    const auto skipBlanks = [&] {
        if (!StrictDelimiter)
            while (p < text.size() && IsBlank(text[p]))
                ++p;
    };
    skipBlanks();
    while (p < text.size()) {
        std::string item;
        if (text[p] == quote) {
            // A quoted item: doubled quotes stand for one; an unterminated item runs to the end.
            ++p;
            while (p < text.size()) {
                if (text[p] == quote) {
                    if (p + 1 < text.size() && text[p + 1] == quote) {
                        item += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const size_t start = p;
            while (p < text.size() && text[p] != delimiter && (StrictDelimiter || !IsBlank(text[p])))
                ++p;
            item.assign(text.substr(start, p - start));
        }
        Add(std::move(item));
        skipBlanks();
        if (p < text.size() && text[p] == delimiter) {
            if (p + 1 == text.size())
                Add(std::string());
            ++p;
            skipBlanks();
        }
    }
}

std::string TStringList::CommaText() const
{
    return JoinDelimited(',', '"');
}

void TStringList::SetCommaText(std::string_view text)
{
    SplitDelimited(text, ',', '"');
}

std::string TStringList::DelimitedText() const
{
    return JoinDelimited(Delimiter, QuoteChar);
}

void TStringList::SetDelimitedText(std::string_view text)
{
    SplitDelimited(text, Delimiter, QuoteChar);
}

std::string TStringList::Text() const
{
    std::string result;
    for (const std::string& item : FItems) {
        result += item;
        result += LineBreak;
    }
    return result;
}

void TStringList::SetText(std::string_view text)
{
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        Add(std::string(text.substr(start, end - start)));
        if (end < text.size())
            end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        start = end;
    }
}

void TStringList::Sort()
{
    std::vector<size_t> order(FItems.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return CompareStrings(FItems[a], FItems[b]) < 0; });
    std::vector<std::string> items;
    std::vector<intptr_t> objects;
    items.reserve(order.size());
    objects.reserve(order.size());
    for (size_t i : order) {
        items.push_back(std::move(FItems[i]));
        objects.push_back(FObjects[i]);
    }
    FItems = std::move(items);
    FObjects = std::move(objects);
    FOrderedAs = CaseSensitive ? 1 : 0;
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare)
{
    if (Sorted)
        RaiseSorted();
    // Quicksort on positions, the comparison seeing the list as it is being rearranged.
    const std::function<void(int, int)> quickSort = [&](int l, int r) {
        while (l < r) {
            int i = l;
            int j = r;
            int pivot = l + (r - l) / 2;
            while (i <= j) {
                while (i < r && compare(*this, i, pivot) < 0)
                    ++i;
                while (j > l && compare(*this, j, pivot) > 0)
                    --j;
                if (i <= j) {
                    if (i != j)
                        Exchange(i, j);
                    if (pivot == i)
                        pivot = j;
                    else if (pivot == j)
                        pivot = i;
                    ++i;
                    --j;
                }
            }
            if (l < j)
                quickSort(l, j);
            l = i;
        }
    };
    if (Count() > 1)
        quickSort(0, Count() - 1);
    FOrderedAs = -1;
}

void TStringList::LoadFromStream(TStream& stream)
{
    std::string data;
    char buffer[65536];
    for (;;) {
        const int64_t n = stream.Read(buffer, sizeof buffer);
        if (n < 0)
            throw EReadError("Stream read error");
        if (n == 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    std::string_view text = data;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    SetText(text);
}

void TStringList::SaveToStream(TStream& stream) const
{
    const std::string text = Text();
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}
