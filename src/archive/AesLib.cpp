#include "archive/AesLib.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include "rtl/Thread.h"

namespace {

constexpr int MaxPasswordBytes = 128;
constexpr int Iterations = 1000;
constexpr int MacLength = 10;
constexpr size_t KeyStreamBytes = 4096; // key stream made ahead, a multiple of the AES block
constexpr uint32_t CacheSlice = 65536;  // data encrypted and authenticated in one go
// Bytes read, encrypted and written in one go by the stream methods; a buffer step takes several.
constexpr int64_t StreamSliceBytes = 262144;

int KeyLength(int keyMode)
{
    return 8 + 8 * keyMode; // 16, 24, 32
}

const EVP_CIPHER* EcbCipher(int keyMode)
{
    switch (keyMode) {
    case 2:
        return EVP_aes_192_ecb();
    case 3:
        return EVP_aes_256_ecb();
    default:
        return EVP_aes_128_ecb();
    }
}

// The Latin-1 bytes of a UTF-8 text, or an empty string when it is not valid UTF-8, holds a character
// above U+00FF or has no character above U+007F (then both forms are the same).
std::string Latin1Form(const std::string& utf8)
{
    std::string result;
    bool differs = false;
    for (size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            result += static_cast<char>(c);
            ++i;
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            result += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            differs = true;
            i += 2;
        } else {
            return {};
        }
    }
    if (!differs)
        return {};
    if (result.size() > MaxPasswordBytes)
        result.resize(MaxPasswordBytes);
    return result;
}

// data ^= key, eight bytes at a time (the compiler widens the loop further).
void XorInto(uint8_t* data, const uint8_t* key, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, data + i, 8);
        std::memcpy(&b, key + i, 8);
        a ^= b;
        std::memcpy(data + i, &a, 8);
    }
    for (; i < n; ++i)
        data[i] ^= key[i];
}

// Reads until count bytes are in or the source ends; the number read, -1 on a failure.
int64_t ReadFull(TStream& stream, uint8_t* buffer, int64_t count)
{
    int64_t total = 0;
    while (total < count) {
        int64_t got = stream.Read(buffer + total, count - total);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

} // namespace

struct TFCryptContext
{
    EVP_CIPHER_CTX* aes = nullptr;
    EVP_MAC* mac = nullptr;
    EVP_MAC_CTX* hmac = nullptr;
    uint64_t counter = 0; // of the last block made; the blocks carry it little-endian in bytes 0 to 7
    std::array<uint8_t, KeyStreamBytes> counterBlocks{};
    std::array<uint8_t, KeyStreamBytes> keyStream{};
    size_t ksPos = 0;
    size_t ksLen = 0;
    int mode = 0;
    int pwdLength = 0;
    bool running = false;

    TFCryptContext()
    {
        aes = EVP_CIPHER_CTX_new();
        mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        if (mac)
            hmac = EVP_MAC_CTX_new(mac);
    }
    ~TFCryptContext()
    {
        EVP_CIPHER_CTX_free(aes);
        EVP_MAC_CTX_free(hmac);
        EVP_MAC_free(mac);
        OPENSSL_cleanse(keyStream.data(), keyStream.size());
    }

    void Restart()
    {
        counter = 0;
        ksPos = ksLen = 0;
    }

    // Makes the next batch of key stream: the counter in bytes 0 to 7 (bytes 8 to 15 stay zero), AES of
    // each block.
    bool Refill()
    {
        for (size_t block = 0; block < KeyStreamBytes; block += 16) {
            uint64_t value = ++counter;
            for (size_t i = 0; i < 8; ++i, value >>= 8)
                counterBlocks[block + i] = static_cast<uint8_t>(value);
        }
        int outLen = 0;
        if (EVP_EncryptUpdate(aes, keyStream.data(), &outLen, counterBlocks.data(),
                              static_cast<int>(KeyStreamBytes)) != 1 ||
            outLen != static_cast<int>(KeyStreamBytes))
            return false;
        ksPos = 0;
        ksLen = KeyStreamBytes;
        return true;
    }
};

// --- TSideMac

struct TSideMac::TState
{
    TEncryption& encryption;
    std::mutex mutex;
    std::condition_variable posted; // a piece was posted, or the end was asked for
    std::condition_variable taken;  // a piece was taken in
    std::deque<std::pair<const uint8_t*, uint32_t>> pieces;
    bool busy = false; // the thread is feeding a piece taken from pieces
    bool closing = false;
    bool failed = false;
    std::thread thread;

    explicit TState(TEncryption& e) : encryption(e) {}

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            posted.wait(lock, [this] { return closing || !pieces.empty(); });
            if (pieces.empty())
                return;
            auto [data, length] = pieces.front();
            pieces.pop_front();
            busy = true;
            lock.unlock();
            bool ok = true;
            try {
                encryption.Authenticate(data, length);
            } catch (...) {
                ok = false;
            }
            lock.lock();
            busy = false;
            failed = failed || !ok;
            taken.notify_all();
        }
    }
};

TSideMac::TSideMac(TEncryption& encryption) : FState(std::make_unique<TState>(encryption))
{
    FState->thread = std::thread([state = FState.get()] { state->Run(); });
}

TSideMac::~TSideMac()
{
    Finish();
}

void TSideMac::Post(const uint8_t* data, uint32_t length)
{
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->pieces.emplace_back(data, length);
    }
    FState->posted.notify_one();
}

void TSideMac::WaitPending(size_t count)
{
    std::unique_lock<std::mutex> lock(FState->mutex);
    FState->taken.wait(lock,
                       [this, count] { return FState->pieces.size() + (FState->busy ? 1 : 0) <= count; });
}

bool TSideMac::Finish()
{
    if (FState->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(FState->mutex);
            FState->closing = true;
        }
        FState->posted.notify_one();
        FState->thread.join();
    }
    return !FState->failed;
}

// ---

int SaltLength(int keyMode)
{
    return 4 + 4 * keyMode;
}

// --- TCrypt

TCrypt::TCrypt(const std::string& password, int aMode, int aBufSize)
    : FCryptCtx(std::make_unique<TFCryptContext>()), FPwd(password.substr(0, MaxPasswordBytes)),
      FLatin1Pwd(Latin1Form(password)), CBufSize(static_cast<uint32_t>(std::max(aBufSize, 1)))
{
    SetKeyMode(aMode);
}

TCrypt::~TCrypt()
{
    OPENSSL_cleanse(FPwd.data(), FPwd.size());
    OPENSSL_cleanse(FLatin1Pwd.data(), FLatin1Pwd.size());
    OPENSSL_cleanse(CBuffer.data(), CBuffer.size());
}

int64_t TCrypt::StreamSlice() const
{
    return std::min<int64_t>(CBufSize, StreamSliceBytes);
}

uint8_t* TCrypt::StreamBuffer()
{
    if (CBuffer.empty())
        CBuffer.resize(static_cast<size_t>(StreamSlice()));
    return CBuffer.data();
}

void TCrypt::SetKeyMode(int value)
{
    if (value >= 1 && value <= 3)
        FMode = value;
    else if (FPwd.size() < 32)
        FMode = 1;
    else if (FPwd.size() >= 48)
        FMode = 3;
    else
        FMode = 2;
}

// --- TEncryption

TEncryption::TEncryption(const std::string& password, int aMode, int aBufSize)
    : TCrypt(password, aMode, aBufSize)
{
}

TEncryption::~TEncryption() = default;

int TEncryption::GetHeaderSize() const
{
    return SaltLength(FMode) + 2;
}

bool TEncryption::DeriveKeys(const std::string& password, const uint8_t* salt, uint8_t verifier[2])
{
    TFCryptContext& ctx = *FCryptCtx;
    ctx.running = false;
    int keyLength = KeyLength(FMode);
    std::array<uint8_t, 2 * 32 + 2> material{};
    int materialLength = 2 * keyLength + 2;
    bool ok = PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt, SaltLength(FMode),
                                Iterations, EVP_sha1(), materialLength, material.data()) == 1;
    ok = ok && ctx.aes && ctx.hmac &&
         EVP_EncryptInit_ex(ctx.aes, EcbCipher(FMode), nullptr, material.data(), nullptr) == 1 &&
         EVP_CIPHER_CTX_set_padding(ctx.aes, 0) == 1;
    if (ok) {
        char digest[] = "SHA1";
        OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
        ok = EVP_MAC_init(ctx.hmac, material.data() + keyLength, static_cast<size_t>(keyLength), params) == 1;
    }
    verifier[0] = material[2 * keyLength];
    verifier[1] = material[2 * keyLength + 1];
    OPENSSL_cleanse(material.data(), material.size());
    ctx.Restart();
    ctx.mode = FMode;
    ctx.pwdLength = static_cast<int>(password.size());
    ctx.running = ok;
    return ok;
}

void TEncryption::StartRunWithSalt(const uint8_t* salt)
{
    uint8_t verifier[2];
    DeriveKeys(FPwd, salt, verifier);
}

void TEncryption::Crypt(uint8_t* buffer, uint32_t bLen)
{
    TFCryptContext& ctx = *FCryptCtx;
    uint32_t done = 0;
    while (done < bLen) {
        if (ctx.ksPos == ctx.ksLen && !ctx.Refill())
            throw Exception("AES key stream failed");
        size_t n = std::min<size_t>(bLen - done, ctx.ksLen - ctx.ksPos);
        XorInto(buffer + done, ctx.keyStream.data() + ctx.ksPos, n);
        ctx.ksPos += n;
        done += static_cast<uint32_t>(n);
    }
}

void TEncryption::EncryptBlock(uint8_t* buffer, uint32_t bLen)
{
    if (!FCryptCtx->running)
        throw Exception("Encryption not started");
    // slice by slice, so that the authentication code reads the ciphertext while it is still in the cache
    for (uint32_t done = 0; done < bLen;) {
        uint32_t n = std::min<uint32_t>(bLen - done, CacheSlice);
        Crypt(buffer + done, n);
        if (EVP_MAC_update(FCryptCtx->hmac, buffer + done, n) != 1)
            throw Exception("HMAC failed");
        done += n;
    }
}

void TEncryption::DecryptBlock(uint8_t* buffer, uint32_t bLen)
{
    if (!FCryptCtx->running)
        throw Exception("Decryption not started");
    for (uint32_t done = 0; done < bLen;) {
        uint32_t n = std::min<uint32_t>(bLen - done, CacheSlice);
        if (EVP_MAC_update(FCryptCtx->hmac, buffer + done, n) != 1)
            throw Exception("HMAC failed");
        Crypt(buffer + done, n);
        done += n;
    }
}

void TEncryption::ApplyKeyStream(uint8_t* buffer, uint32_t bLen)
{
    if (!FCryptCtx->running)
        throw Exception("Encryption not started");
    Crypt(buffer, bLen);
}

void TEncryption::Authenticate(const uint8_t* buffer, uint32_t bLen)
{
    if (!FCryptCtx->running)
        throw Exception("Encryption not started");
    if (bLen > 0 && EVP_MAC_update(FCryptCtx->hmac, buffer, bLen) != 1)
        throw Exception("HMAC failed");
}

bool TEncryption::WriteHeader(TStream& sDest)
{
    try {
        std::array<uint8_t, 18> header{};
        int saltLength = SaltLength(FMode);
        if (RAND_bytes(header.data(), saltLength) != 1)
            return false;
        if (!DeriveKeys(FPwd, header.data(), header.data() + saltLength))
            return false;
        sDest.WriteBuffer(header.data(), saltLength + 2);
        return true;
    } catch (...) {
        return false;
    }
}

bool TEncryption::WriteTrailer(TStream& sDest)
{
    try {
        uint8_t code[EVP_MAX_MD_SIZE];
        size_t length = 0;
        if (!FCryptCtx->running || EVP_MAC_final(FCryptCtx->hmac, code, &length, sizeof code) != 1 ||
            length < MacLength)
            return false;
        FCryptCtx->running = false;
        sDest.WriteBuffer(code, MacLength);
        return true;
    } catch (...) {
        return false;
    }
}

bool TEncryption::ReadHeader(TStream& sSource)
{
    try {
        std::array<uint8_t, 18> header{};
        int length = SaltLength(FMode) + 2;
        if (ReadFull(sSource, header.data(), length) != length)
            return false;
        const uint8_t* salt = header.data();
        const uint8_t* stored = header.data() + length - 2;
        uint8_t verifier[2];
        if (DeriveKeys(FPwd, salt, verifier) && verifier[0] == stored[0] && verifier[1] == stored[1])
            return true;
        if (!FLatin1Pwd.empty() && DeriveKeys(FLatin1Pwd, salt, verifier) && verifier[0] == stored[0] &&
            verifier[1] == stored[1])
            return true;
        FCryptCtx->running = false;
        return false;
    } catch (...) {
        return false;
    }
}

bool TEncryption::ReadTrailer(TStream& sSource)
{
    try {
        uint8_t stored[MacLength];
        if (ReadFull(sSource, stored, MacLength) != MacLength)
            return false;
        uint8_t code[EVP_MAX_MD_SIZE];
        size_t length = 0;
        if (!FCryptCtx->running || EVP_MAC_final(FCryptCtx->hmac, code, &length, sizeof code) != 1 ||
            length < MacLength)
            return false;
        FCryptCtx->running = false;
        return CRYPTO_memcmp(code, stored, MacLength) == 0;
    } catch (...) {
        return false;
    }
}

void TEncryption::WaitIfPaused()
{
    if (FEvent)
        FEvent->WaitFor(INFINITE);
}

TOpResult TEncryption::EncryptStreamEx(TStream& sSource, TStream& sDest, bool speedLimit,
                                       const TStatusEvent& cancelEncryption)
{
    if (!WriteHeader(sDest))
        return orError;
    uint8_t* buffer = StreamBuffer();
    const int64_t slice = StreamSlice();
    int64_t total = 0;
    bool ended = false;
    do {
        WaitIfPaused();
        try {
            // one buffer step, slice by slice (see StreamSlice)
            for (int64_t step = 0; !ended && step < static_cast<int64_t>(CBufSize);) {
                int64_t want = std::min<int64_t>(slice, CBufSize - step);
                int64_t got = ReadFull(sSource, buffer, want);
                if (got < 0)
                    return orError;
                ended = got < want;
                step += got;
                total += got;
                EncryptBlock(buffer, static_cast<uint32_t>(got));
                sDest.WriteBuffer(buffer, got);
            }
            if (OnProgress)
                OnProgress(acEncrypt, total, speedLimit);
        } catch (...) {
            return orError;
        }
        if (cancelEncryption && cancelEncryption())
            return orUserBreak;
    } while (!ended);
    return WriteTrailer(sDest) ? orOk : orError;
}

bool TEncryption::EncryptStream(TStream& sSource, TStream& sDest, bool speedLimit)
{
    return EncryptStreamEx(sSource, sDest, speedLimit) == orOk;
}

TOpResult TEncryption::DecryptStreamEx(TStream& sSource, TStream* sDest, int64_t sLength, bool speedLimit,
                                       const TStatusEvent& cancelDecryption)
{
    // An object too short to hold header and trailer is damaged; nothing is read.
    if (sLength < GetHeaderSize() + GetTrailerSize())
        return orError;
    if (!ReadHeader(sSource))
        return orError;
    int64_t remaining = sLength - GetHeaderSize() - GetTrailerSize();
    uint8_t* buffer = StreamBuffer();
    const int64_t slice = StreamSlice();
    int64_t total = 0;
    while (remaining > 0) {
        WaitIfPaused();
        try {
            // one buffer step, slice by slice (see StreamSlice)
            int64_t step = std::min<int64_t>(CBufSize, remaining);
            for (int64_t done = 0; done < step;) {
                int64_t want = std::min<int64_t>(slice, step - done);
                if (ReadFull(sSource, buffer, want) != want)
                    return orError; // the source ended early or failed
                DecryptBlock(buffer, static_cast<uint32_t>(want));
                if (sDest)
                    sDest->WriteBuffer(buffer, want);
                done += want;
            }
            total += step;
            remaining -= step;
            if (OnProgress)
                OnProgress(acDecrypt, total, speedLimit);
        } catch (...) {
            return orError;
        }
        if (cancelDecryption && cancelDecryption())
            return orUserBreak;
    }
    return ReadTrailer(sSource) ? orOk : orError;
}

bool TEncryption::DecryptStream(TStream& sSource, TStream* sDest, int64_t sLength, bool speedLimit)
{
    return DecryptStreamEx(sSource, sDest, sLength, speedLimit) == orOk;
}
