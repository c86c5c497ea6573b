// Format and SafeFormat with an arbitrary pattern over a fixed set of arguments of every kind, as a
// translation with a wrong or hostile pattern would call them. The first bytes choose the arguments.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t pick = data[0];
    const uint8_t count = data[1] % 8;
    const std::string_view pattern(reinterpret_cast<const char*>(data + 2), size - 2);
    std::vector<TVarRec> args;
    for (int i = 0; i < count; ++i) {
        switch ((pick >> (i % 4)) & 7) {
        case 0:
            args.emplace_back(int64_t(i * 1000003));
            break;
        case 1:
            args.emplace_back(std::string("text ") + std::to_string(i));
            break;
        case 2:
            args.emplace_back(1234.5678 * i);
            break;
        case 3:
            args.emplace_back(uint64_t(0xFFFFFFFFFFFFFFFF) - i);
            break;
        case 4:
            args.emplace_back(int64_t(-7) * i);
            break;
        case 5:
            args.emplace_back('x');
            break;
        case 6:
            args.emplace_back(int64_t(1500000000)); // a size used as a width
            break;
        default:
            args.emplace_back(std::string("\xC3\xA4\xC3\xB6\xC3\xBC"));
            break;
        }
    }
    try {
        (void)Format(pattern, args);
    } catch (const EConvertError&) {
    }
    (void)SafeFormat(pattern, args);
    return 0;
}
