#include "archive/ExtFileToolsZip.h"

#if __has_include("archive/AesLib.h")
#include "archive/AesLib.h"

namespace {

// The zip classes use the suite's AES framing through this adapter.
class TAesZipCipher : public TZipCipher
{
public:
    TAesZipCipher(const std::string& password, int keyMode, int bufSize)
        : FEncryption(password, keyMode, bufSize > 0 ? bufSize : 4096)
    {
    }
    int KeyMode() const override { return FEncryption.KeyMode(); }
    void SetKeyMode(int mode) override { FEncryption.SetKeyMode(mode); }
    int HeaderSize() const override { return FEncryption.GetHeaderSize(); }
    bool WriteHeader(TStream& dest) override { return FEncryption.WriteHeader(dest); }
    void EncryptBlock(uint8_t* buffer, size_t length) override
    {
        FEncryption.EncryptBlock(buffer, static_cast<uint32_t>(length));
    }
    bool WriteTrailer(TStream& dest) override { return FEncryption.WriteTrailer(dest); }
    bool ReadHeader(TStream& source) override { return FEncryption.ReadHeader(source); }
    void DecryptBlock(uint8_t* buffer, size_t length) override
    {
        FEncryption.DecryptBlock(buffer, static_cast<uint32_t>(length));
    }
    bool ReadTrailer(TStream& source) override { return FEncryption.ReadTrailer(source); }

private:
    TEncryption FEncryption;
};

} // namespace

std::unique_ptr<TZipCipher> CreateZipCipher(const std::string& password, int keyMode, int bufSize)
{
    return std::make_unique<TAesZipCipher>(password, keyMode, bufSize);
}

#else

// Without the AES unit no archive can be encrypted or decrypted.
std::unique_ptr<TZipCipher> CreateZipCipher(const std::string&, int, int)
{
    return nullptr;
}

#endif
