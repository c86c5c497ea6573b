#include "rtl/Gettext.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

constexpr uint32_t MoMagic = 0x950412de;
// Catalogues larger than this are not ours.
constexpr uint64_t MaxCatalogueSize = 256u * 1024 * 1024;

class MoReader
{
public:
    explicit MoReader(std::string_view data) : FData(data) {}

    bool ReadHeader()
    {
        if (FData.size() < 28)
            return false;
        const uint32_t magic = Raw32(0);
        if (magic == MoMagic)
            FSwap = false;
        else if (Swapped(magic) == MoMagic)
            FSwap = true;
        else
            return false;
        const uint32_t revision = Word(4);
        if ((revision >> 16) > 1)
            return false;
        FCount = Word(8);
        FOriginals = Word(12);
        FTranslations = Word(16);
        const uint64_t hashSize = Word(20);
        const uint64_t hashOffset = Word(24);
        const uint64_t tableBytes = FCount * 8;
        return FOriginals + tableBytes <= FData.size() && FTranslations + tableBytes <= FData.size() &&
               (hashSize == 0 || hashOffset + hashSize * 4 <= FData.size());
    }

    uint64_t Count() const { return FCount; }

    // String i of the originals or the translations; false when it lies outside the data or lacks
    // its terminating NUL.
    bool String(bool original, uint64_t i, std::string_view& result) const
    {
        const uint64_t entry = (original ? FOriginals : FTranslations) + i * 8;
        const uint64_t length = Word(entry);
        const uint64_t offset = Word(entry + 4);
        if (offset + length >= FData.size() || FData[offset + length] != '\0')
            return false;
        result = FData.substr(offset, length);
        return true;
    }

private:
    static uint32_t Swapped(uint32_t v)
    {
        return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    }
    uint32_t Raw32(uint64_t pos) const
    {
        const auto b = [&](uint64_t i) {
            return static_cast<uint32_t>(static_cast<unsigned char>(FData[pos + i]));
        };
        return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
    }
    uint64_t Word(uint64_t pos) const { return FSwap ? Swapped(Raw32(pos)) : Raw32(pos); }

    std::string_view FData;
    bool FSwap = false;
    uint64_t FCount = 0;
    uint64_t FOriginals = 0;
    uint64_t FTranslations = 0;
};

std::mutex catalogueMutex;
std::shared_ptr<const TMoCatalogue> currentCatalogue;

} // namespace

bool TMoCatalogue::LoadFromFile(const std::string& fileName)
{
    FEntries.clear();
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<uint64_t>(size) > MaxCatalogueSize)
        return false;
    in.seekg(0, std::ios::beg);
    std::string data(static_cast<size_t>(size), '\0');
    if (!in.read(data.data(), size))
        return false;
    return LoadFromData(data);
}

bool TMoCatalogue::LoadFromData(std::string_view data)
{
    FEntries.clear();
    MoReader reader(data);
    if (!reader.ReadHeader())
        return false;
    std::map<std::string, std::string, std::less<>> entries;
    for (uint64_t i = 0; i < reader.Count(); ++i) {
        std::string_view original;
        std::string_view translation;
        if (!reader.String(true, i, original) || !reader.String(false, i, translation))
            return false;
        // Plural entries hold their forms separated by NUL: the singular is the key, the first form
        // the translation. The header entry (empty id) is no text of the program.
        original = original.substr(0, original.find('\0'));
        translation = translation.substr(0, translation.find('\0'));
        if (original.empty() || translation.empty())
            continue;
        entries.emplace(original, translation);
    }
    FEntries = std::move(entries);
    return true;
}

const std::string* TMoCatalogue::Lookup(std::string_view msgid) const
{
    const auto it = FEntries.find(msgid);
    return it == FEntries.end() ? nullptr : &it->second;
}

void SetCatalogue(std::shared_ptr<const TMoCatalogue> catalogue)
{
    std::lock_guard<std::mutex> lock(catalogueMutex);
    currentCatalogue = std::move(catalogue);
}

std::shared_ptr<const TMoCatalogue> CurrentCatalogue()
{
    std::lock_guard<std::mutex> lock(catalogueMutex);
    return currentCatalogue;
}

std::string _(std::string_view msgid)
{
    const std::shared_ptr<const TMoCatalogue> catalogue = CurrentCatalogue();
    if (catalogue) {
        if (const std::string* translation = catalogue->Lookup(msgid))
            return *translation;
    }
    return std::string(msgid);
}
