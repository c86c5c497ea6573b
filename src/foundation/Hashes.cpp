#include "foundation/Hashes.h"

#include <memory>
#include <vector>

#include <openssl/evp.h>

namespace {

// Block size used when the caller passes none.
constexpr int DefaultBufferSize = 65536;

struct MdCtxFree
{
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

const EVP_MD* DigestOfKind(uint8_t kind)
{
    switch (kind) {
    case hkSHA1:
        return EVP_sha1();
    case hkSHA256:
        return EVP_sha256();
    default:
        return EVP_md5();
    }
}

std::string ToHex(const unsigned char* data, unsigned int length)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 0x0F];
    }
    return hex;
}

} // namespace

void ComputeStreamHash(uint8_t Kind, TStream& Stream, int BufferSize, std::string& HexDigest,
                       const THashProgressEvent& Progress)
{
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), DigestOfKind(Kind), nullptr) != 1)
        throw Exception("The hash algorithm is not available");
    std::vector<unsigned char> buffer(static_cast<size_t>(BufferSize > 0 ? BufferSize : DefaultBufferSize));

    int64_t size = Stream.GetSize();
    if (Progress)
        Progress(0, size);
    int64_t position = Stream.GetPosition();
    while (size < 0 || position < size) {
        int64_t got = Stream.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        if (got < 0 || (got == 0 && size >= 0))
            throw EReadError("Stream read error");
        if (got == 0)
            break;
        position += got;
        if (Progress) {
            Progress(3, got);
            Progress(2, position);
        }
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(got)) != 1)
            throw Exception("The hash could not be computed");
    }
    if (Progress)
        Progress(1, size);

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        throw Exception("The hash could not be computed");
    HexDigest = ToHex(digest, length);
}
