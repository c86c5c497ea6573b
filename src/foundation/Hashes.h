#pragma once
// Hexadecimal digests of streams with MD5, SHA-1 or SHA-256.

#include <cstdint>
#include <functional>
#include <string>

#include "rtl/Streams.h"

// Hash kinds; any other value is taken as MD5.
constexpr uint8_t hkMD5 = 0;
constexpr uint8_t hkSHA1 = 1;
constexpr uint8_t hkSHA256 = 2;

// Progress of ComputeStreamHash: action 0 = start (count: stream size), 3 = block read (count: bytes read),
// 2 = position (count: new position), 1 = done (count: stream size).
using THashProgressEvent = std::function<void(uint8_t action, int64_t count)>;

// Hashes Stream from its current position to its end, reading blocks of BufferSize bytes, and puts the
// digest into HexDigest as lower-case hexadecimal text (two digits per byte). The stream is left at its
// end. A stream that cannot report its size is read until a read returns nothing.
// Raises EReadError when a read fails or the stream ends before its reported size.
void ComputeStreamHash(uint8_t Kind, TStream& Stream, int BufferSize, std::string& HexDigest,
                       const THashProgressEvent& Progress = nullptr);
