#pragma once
// Small arithmetic helpers.

#include <cstdint>

// 2 to the power N as a 64-bit value; N is clamped to 0..63 (Pow2(64) has only bit 63 set).
uint64_t Pow2(int N);
