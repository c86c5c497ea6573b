#pragma once
// Passwords and command lines as they are kept in settings and task files: a length prefix, the text,
// random padding, AES-encrypted under the program key and written as hexadecimal digits or Ascii85.

#include <cstdint>
#include <string>

// The constant from which UnscrambleKeyString builds the program key.
extern const char* const ProgramKeyString;

// The key hidden in a 48-digit key string; empty for an empty string.
std::string UnscrambleKeyString(const std::string& keyString);

// The prefix for num, then text, encrypted with key (when not empty), in hexadecimal or Ascii85.
void EncryptToText(const std::string& key, const std::string& text, int num, std::string& result, bool asHex);
// The reverse of EncryptToText; an empty result when the text does not decrypt.
void DecryptFromText(const std::string& key, const std::string& text, bool isHex, std::string& result);

// pwd cut to len characters and padded with random characters to len - 1 bytes.
void EncodePassword(const std::string& key, const std::string& pwd, int len, std::string& result, bool asHex);
// text padded with random characters to 32 bytes when shorter.
void EncodeCommand(const std::string& key, const std::string& text, bool asHex, std::string& result);
void DecodePassword(const std::string& key, const std::string& text, bool isHex, std::string& result);
void DecodeCommand(const std::string& key, const std::string& text, bool isHex, std::string& result);

// One Ascii85 group of count bytes (value big-endian): "z" for four zero bytes, else count + 1 digits.
std::string Ascii85EncodeGroup(uint32_t value, int count);
// The value of a group of up to five digits, padded with "!".
uint32_t Ascii85DecodeGroup(const std::string& group);
