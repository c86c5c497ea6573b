#pragma once
// Little-endian fields of the archive formats: appending to a record under construction and reading
// from a record in memory.

#include <cstdint>
#include <string>

namespace LittleEndian {

inline void Put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

inline void Put64(std::string& s, uint64_t v)
{
    Put32(s, static_cast<uint32_t>(v));
    Put32(s, static_cast<uint32_t>(v >> 32));
}

// In place, into a record in memory.
inline void Set16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void Set32(uint8_t* p, uint32_t v)
{
    Set16(p, static_cast<uint16_t>(v));
    Set16(p + 2, static_cast<uint16_t>(v >> 16));
}

inline void Set64(uint8_t* p, uint64_t v)
{
    Set32(p, static_cast<uint32_t>(v));
    Set32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Get64(const uint8_t* p)
{
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

} // namespace LittleEndian
