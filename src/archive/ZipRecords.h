#pragma once
// Records of the zip format shared by the single-file zip of the copy engine and the zip archives.

#include <cstdint>
#include <string>

#include "archive/LittleEndian.h"

// The AES field (0x9901) of an entry: vendor version (1 or 2), key mode and the method of the data.
inline std::string ZipAesField(uint16_t version, uint8_t mode, uint16_t method)
{
    std::string f;
    LittleEndian::Put16(f, 0x9901);
    LittleEndian::Put16(f, 7);
    LittleEndian::Put16(f, version);
    f += "AE";
    f += static_cast<char>(mode);
    LittleEndian::Put16(f, method);
    return f;
}

// A local header with CRC-32 0 and both sizes size32 (filled in when the data is written).
inline std::string ZipLocalHeader(uint16_t version, uint16_t flags, uint16_t method, uint32_t dosTime,
                                  uint32_t size32, const std::string& name, const std::string& extra)
{
    std::string h;
    LittleEndian::Put32(h, 0x04034B50);
    LittleEndian::Put16(h, version);
    LittleEndian::Put16(h, flags);
    LittleEndian::Put16(h, method);
    LittleEndian::Put32(h, dosTime);
    LittleEndian::Put32(h, 0);
    LittleEndian::Put32(h, size32);
    LittleEndian::Put32(h, size32);
    LittleEndian::Put16(h, static_cast<uint32_t>(name.size()));
    LittleEndian::Put16(h, static_cast<uint32_t>(extra.size()));
    return h + name + extra;
}

// The values of a central header.
struct TZipCentralValues
{
    uint16_t Version = 20;
    uint8_t HostSystem = 0; // the system part of "version made by"
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DosTime = 0;
    uint32_t Crc = 0;
    uint32_t CSize32 = 0;
    uint32_t USize32 = 0;
    uint16_t Disk = 0;
    uint32_t Attr = 0;
    uint32_t Offset32 = 0;
};

inline std::string ZipCentralHeader(const TZipCentralValues& v, const std::string& name,
                                    const std::string& extra)
{
    std::string c;
    LittleEndian::Put32(c, 0x02014B50);
    LittleEndian::Put16(c, static_cast<uint32_t>(v.Version | (v.HostSystem << 8)));
    LittleEndian::Put16(c, v.Version);
    LittleEndian::Put16(c, v.Flags);
    LittleEndian::Put16(c, v.Method);
    LittleEndian::Put32(c, v.DosTime);
    LittleEndian::Put32(c, v.Crc);
    LittleEndian::Put32(c, v.CSize32);
    LittleEndian::Put32(c, v.USize32);
    LittleEndian::Put16(c, static_cast<uint32_t>(name.size()));
    LittleEndian::Put16(c, static_cast<uint32_t>(extra.size()));
    LittleEndian::Put16(c, 0); // comment
    LittleEndian::Put16(c, v.Disk);
    LittleEndian::Put16(c, 0); // internal attributes
    LittleEndian::Put32(c, v.Attr);
    LittleEndian::Put32(c, v.Offset32);
    return c + name + extra;
}
