#pragma once
// Translation of the program's texts through GNU gettext ".mo" catalogues.
// The English texts are the message ids; without a catalogue every text stays English.

#include <map>
#include <memory>
#include <string>
#include <string_view>

// Marks a text for extraction without translating it (for tables of texts translated at use).
#define N_(text) text

class TMoCatalogue
{
public:
    // Reads a little- or big-endian .mo file; false (and an empty catalogue) when it is missing or bad.
    bool LoadFromFile(const std::string& fileName);
    bool LoadFromData(std::string_view data);
    // The translation of msgid, or nullptr when the catalogue has none (or an empty one).
    const std::string* Lookup(std::string_view msgid) const;
    size_t Count() const { return FEntries.size(); }

private:
    std::map<std::string, std::string, std::less<>> FEntries;
};

// The catalogue in use (nullptr = English). Thread-safe.
void SetCatalogue(std::shared_ptr<const TMoCatalogue> catalogue);
std::shared_ptr<const TMoCatalogue> CurrentCatalogue();

// The translation of a text in the current catalogue, or the text itself.
std::string _(std::string_view msgid);
