#include "rtl/DateTime.h"

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}
