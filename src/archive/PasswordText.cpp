#include "archive/PasswordText.h"

#include <algorithm>
#include <vector>

#include <openssl/rand.h>

#include "archive/AesLib.h"

const char* const ProgramKeyString = "A1CA35ED8E190343EB682E3F43B9189D60BD703658AF2626";

namespace {

constexpr uint8_t KeyStringXor = 0x5A;
constexpr int PasswordBufferSize = 4096;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Random characters with the codes 33 to 96 appended until text has length bytes.
void PadRandom(std::string& text, size_t length)
{
    if (text.size() >= length)
        return;
    std::vector<uint8_t> random(length - text.size());
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1)
        std::fill(random.begin(), random.end(), 0);
    for (uint8_t r : random)
        text += static_cast<char>(33 + (r & 63));
}

// The byte length of the first count code points of a UTF-8 text.
size_t Utf8PrefixBytes(const std::string& text, size_t count)
{
    size_t i = 0;
    for (size_t n = 0; i < text.size() && n < count; ++n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return i;
}

} // namespace

std::string UnscrambleKeyString(const std::string& keyString)
{
    if (keyString.empty())
        return {};
    uint8_t bytes[24] = {};
    for (size_t i = 0; i < 24 && 2 * i + 1 < keyString.size(); ++i) {
        int hi = HexValue(keyString[2 * i]);
        int lo = HexValue(keyString[2 * i + 1]);
        bytes[i] = static_cast<uint8_t>(((hi < 0 ? 0 : hi) << 4) | (lo < 0 ? 0 : lo));
    }
    uint8_t values[12];
    for (int i = 0; i < 12; ++i) {
        uint8_t a = bytes[2 * i] ^ KeyStringXor;
        uint8_t b = bytes[2 * i + 1] ^ KeyStringXor;
        if (i % 2 == 1)
            values[i] = static_cast<uint8_t>((a & 0xF0) | (b >> 4));
        else
            values[i] = static_cast<uint8_t>(((b & 0x0F) << 4) | (a & 0x0F));
    }
    int length = std::min<int>(values[0], 11);
    return std::string(reinterpret_cast<const char*>(values + 1), static_cast<size_t>(length));
}

std::string Ascii85EncodeGroup(uint32_t value, int count)
{
    if (value == 0 && count >= 4)
        return "z";
    char digits[5];
    uint32_t v = value;
    for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<char>(v % 85 + 33);
        v /= 85;
    }
    int used = std::clamp(count, 0, 4) + 1;
    return std::string(digits, static_cast<size_t>(used));
}

uint32_t Ascii85DecodeGroup(const std::string& group)
{
    uint64_t value = 0;
    for (size_t i = 0; i < 5; ++i) {
        int digit = i < group.size() ? static_cast<unsigned char>(group[i]) - 33 : 0;
        value = value * 85 + static_cast<uint64_t>(std::clamp(digit, 0, 84));
    }
    return static_cast<uint32_t>(value);
}

void EncryptToText(const std::string& key, const std::string& text, int num, std::string& result, bool asHex)
{
    result.clear();
    if (text.empty())
        return;
    std::string plain;
    if (num >= 1 && num <= 222) {
        plain += static_cast<char>(num + 33);
    } else if (num >= 223) {
        plain += static_cast<char>((num >> 8) & 0x1F);
        plain += static_cast<char>(num & 0xFF);
    }
    plain += text;

    std::string data;
    if (key.empty()) {
        data = plain;
    } else {
        TEncryption encryption(key, 0, PasswordBufferSize);
        TMemoryStream source(plain);
        TMemoryStream dest;
        if (!encryption.EncryptStream(source, dest, false))
            return;
        data = dest.DataString();
    }

    if (asHex) {
        static const char digits[] = "0123456789ABCDEF";
        for (unsigned char c : data) {
            result += digits[c >> 4];
            result += digits[c & 15];
        }
        return;
    }
    for (size_t i = 0; i < data.size(); i += 4) {
        int count = static_cast<int>(std::min<size_t>(4, data.size() - i));
        // a short last group is filled with $FF bytes: with "!" padding on decoding its bytes come back
        uint32_t value = 0;
        for (int j = 0; j < 4; ++j)
            value = (value << 8) | (j < count ? static_cast<unsigned char>(data[i + j]) : 0xFFu);
        result += Ascii85EncodeGroup(value, count);
    }
}

void DecryptFromText(const std::string& key, const std::string& text, bool isHex, std::string& result)
{
    result.clear();
    if (text.empty())
        return;
    std::string data;
    if (isHex) {
        for (size_t i = 0; i < text.size(); i += 2) {
            if (i + 1 < text.size()) {
                int hi = HexValue(text[i]);
                int lo = HexValue(text[i + 1]);
                data += static_cast<char>(hi < 0 || lo < 0 ? 0 : (hi << 4) | lo);
            } else {
                int single = HexValue(text[i]);
                data += static_cast<char>(single < 0 ? 0 : single);
            }
        }
    } else {
        for (size_t i = 0; i < text.size();) {
            if (text[i] == 'z') {
                data.append(4, '\0');
                ++i;
                continue;
            }
            std::string group = text.substr(i, 5);
            uint32_t value = Ascii85DecodeGroup(group);
            for (size_t j = 0; j + 1 < group.size(); ++j)
                data += static_cast<char>((value >> (24 - 8 * j)) & 0xFF);
            i += group.size();
        }
    }

    std::string plain;
    if (key.empty()) {
        plain = data;
    } else {
        TEncryption encryption(key, 0, PasswordBufferSize);
        TMemoryStream source(data);
        TMemoryStream dest;
        if (!encryption.DecryptStream(source, &dest, source.GetSize(), false))
            return;
        plain = dest.DataString();
    }
    if (plain.empty())
        return;
    auto b = static_cast<unsigned char>(plain[0]);
    size_t start = 1;
    size_t n;
    if (b <= 32) {
        if (plain.size() < 2)
            return;
        n = static_cast<size_t>(b) * 256 + static_cast<unsigned char>(plain[1]);
        start = 2;
    } else {
        n = b - 33;
    }
    result = plain.substr(start, n);
}

void EncodePassword(const std::string& key, const std::string& pwd, int len, std::string& result, bool asHex)
{
    result.clear();
    if (pwd.empty())
        return;
    std::string text = pwd.substr(0, Utf8PrefixBytes(pwd, static_cast<size_t>(std::max(len, 0))));
    int n = static_cast<int>(text.size());
    if (len > 1)
        PadRandom(text, static_cast<size_t>(len - 1));
    EncryptToText(key, text, n, result, asHex);
}

void EncodeCommand(const std::string& key, const std::string& text, bool asHex, std::string& result)
{
    result.clear();
    if (text.empty())
        return;
    std::string padded = text;
    int n = static_cast<int>(padded.size());
    PadRandom(padded, 32);
    EncryptToText(key, padded, n, result, asHex);
}

void DecodePassword(const std::string& key, const std::string& text, bool isHex, std::string& result)
{
    result.clear();
    if (!text.empty())
        DecryptFromText(key, text, isHex, result);
}

void DecodeCommand(const std::string& key, const std::string& text, bool isHex, std::string& result)
{
    DecodePassword(key, text, isHex, result);
}
