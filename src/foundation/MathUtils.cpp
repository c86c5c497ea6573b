#include "foundation/MathUtils.h"

#include <algorithm>

uint64_t Pow2(int N)
{
    return uint64_t{1} << std::clamp(N, 0, 63);
}
