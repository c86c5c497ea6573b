#include "foundation/ExtSysUtils.h"

#include <algorithm>

#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"

std::string SystemErrorMessage(uint32_t code)
{
    std::string text = SystemErrorText(code);
    if (!text.empty())
        return text + SafeFormat(" (0x%.8x)", {code});
    return _("Error code") + SafeFormat(" = 0x%.8x", {code});
}

std::string TryFormat(std::string_view fmt, TFormatArgs args) noexcept
{
    return SafeFormat(fmt, args);
}

std::string TryFormat(std::string_view fmt, const std::vector<TVarRec>& args) noexcept
{
    return SafeFormat(fmt, args);
}

std::string SlashToBackslash(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string BackslashToSlash(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
