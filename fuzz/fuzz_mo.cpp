// The .mo catalogue reader (both byte orders) and the look-up of every text it holds, then the look-up
// through _() with the catalogue in use.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "rtl/Gettext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto catalogue = std::make_shared<TMoCatalogue>();
    if (!catalogue->LoadFromData(bytes))
        return 0;
    (void)catalogue->Lookup("");
    (void)catalogue->Lookup(bytes.substr(0, 64));
    SetCatalogue(catalogue);
    (void)_("Backup finished");
    SetCatalogue(nullptr);
    return 0;
}
