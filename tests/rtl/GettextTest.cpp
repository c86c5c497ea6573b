#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "rtl/Gettext.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

const char* const PoText = R"(msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Plural-Forms: nplurals=2; plural=(n != 1);\n"

msgid "Backup finished"
msgstr "Sicherung beendet"

msgid "Error writing to \"%s\""
msgstr "Fehler beim Schreiben in \"%s\""

msgctxt "menu"
msgid "Open"
msgstr "Öffnen"

msgid "%u file"
msgid_plural "%u files"
msgstr[0] "%u Datei"
msgstr[1] "%u Dateien"

msgid "Not yet translated"
msgstr ""

#, fuzzy
msgid "Unsure"
msgstr "Unsicher"
)";

class Gettext : public SandboxTest
{
protected:
    // Compiles the test catalogue with msgfmt in the given byte order and returns the .mo file's path.
    std::string Compile(const std::string& endianness)
    {
        const std::string po = sandbox.Path("de.po");
        std::ofstream(po) << PoText;
        const std::string mo = sandbox.Path("de-" + endianness + ".mo");
        const std::string command = "msgfmt --endianness=" + endianness + " -o '" + mo + "' '" + po + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return mo;
    }

    void TearDown() override { SetCatalogue(nullptr); }
};

TEST_F(Gettext, ReadsCataloguesOfBothByteOrders)
{
    for (const char* order : {"little", "big"}) {
        TMoCatalogue catalogue;
        ASSERT_TRUE(catalogue.LoadFromFile(Compile(order))) << order;
        EXPECT_EQ(catalogue.Count(), 4u);
        const struct
        {
            std::string id;
            const char* expected; // nullptr = no translation
        } cases[] = {
            {"Backup finished", "Sicherung beendet"},
            {"Error writing to \"%s\"", "Fehler beim Schreiben in \"%s\""},
            {"menu\x04Open", "Öffnen"},
            {"Open", nullptr},
            {"%u file", "%u Datei"},
            {"%u files", nullptr},
            {"Not yet translated", nullptr},
            {"Unsure", nullptr},
            {"", nullptr},
        };
        for (const auto& c : cases) {
            const std::string* found = catalogue.Lookup(c.id);
            if (c.expected == nullptr) {
                EXPECT_EQ(found, nullptr) << order << ": " << c.id;
            } else {
                ASSERT_NE(found, nullptr) << order << ": " << c.id;
                EXPECT_EQ(*found, c.expected);
            }
        }
    }
}

TEST_F(Gettext, TranslatesThroughTheCurrentCatalogue)
{
    EXPECT_EQ(_("Backup finished"), "Backup finished");
    auto catalogue = std::make_shared<TMoCatalogue>();
    ASSERT_TRUE(catalogue->LoadFromFile(Compile("little")));
    SetCatalogue(catalogue);
    EXPECT_EQ(CurrentCatalogue(), catalogue);
    EXPECT_EQ(_("Backup finished"), "Sicherung beendet");
    EXPECT_EQ(_("Not yet translated"), "Not yet translated");
    EXPECT_EQ(_(N_("%u file")), "%u Datei");
    SetCatalogue(nullptr);
    EXPECT_EQ(_("Backup finished"), "Backup finished");
}

TEST_F(Gettext, SwitchingCataloguesWhileTranslatingIsSafe)
{
    auto catalogue = std::make_shared<TMoCatalogue>();
    ASSERT_TRUE(catalogue->LoadFromFile(Compile("little")));
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string text = _("Backup finished");
            if (text != "Backup finished" && text != "Sicherung beendet")
                ++unexpected;
        }
    });
    for (int i = 0; i < 2000; ++i)
        SetCatalogue(i % 2 == 0 ? catalogue : nullptr);
    stop = true;
    reader.join();
    EXPECT_EQ(unexpected.load(), 0);
}

TEST_F(Gettext, DamagedDataGivesAnEmptyCatalogue)
{
    const std::string good = ReadFileBytes(Compile("little"));
    TMoCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadFromData(good));

    // Every truncation of a good file.
    for (size_t size = 0; size < good.size(); ++size) {
        ASSERT_FALSE(catalogue.LoadFromData(std::string_view(good).substr(0, size))) << size;
        EXPECT_EQ(catalogue.Count(), 0u);
    }

    // Hostile headers and tables.
    const auto withWord = [&](size_t pos, uint32_t value) {
        std::string data = good;
        for (int i = 0; i < 4; ++i)
            data[pos + i] = static_cast<char>(value >> (8 * i));
        return data;
    };
    const uint32_t originals = static_cast<unsigned char>(good[12]) | static_cast<unsigned char>(good[13])
                                                                          << 8;
    const std::string hostile[] = {
        withWord(0, 0x12345678),         // magic
        withWord(4, 0x00020000),         // unknown major revision
        withWord(8, 0xFFFFFFFF),         // count
        withWord(12, 0xFFFFFFF0),        // table of originals
        withWord(16, 0xFFFFFFF0),        // table of translations
        withWord(24, 0xFFFFFFF0),        // hash table
        withWord(originals, 0xFFFFFFFF), // length of the first original
        withWord(originals + 4, 0xFFFFFFFB),
        std::string(64, '\0'),
    };
    for (const std::string& data : hostile) {
        ASSERT_TRUE(catalogue.LoadFromData(good));
        EXPECT_FALSE(catalogue.LoadFromData(data));
        EXPECT_EQ(catalogue.Count(), 0u);
    }

    // Random bytes, with and without a valid magic.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string data(static_cast<size_t>(random() % 200), '\0');
        for (char& c : data)
            c = static_cast<char>(random());
        if (round % 2 == 0 && data.size() >= 4)
            data.replace(0, 4, good.substr(0, 4));
        catalogue.LoadFromData(data); // must not crash
    }

    EXPECT_FALSE(catalogue.LoadFromFile(sandbox.Path("missing.mo")));
    EXPECT_EQ(catalogue.Count(), 0u);
}

} // namespace
