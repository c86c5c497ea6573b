#pragma once
// Password-based AES stream encryption in the WinZip AES layout (AE-1/AE-2).
//
// One encrypted object is salt, 2-byte password verifier, ciphertext and a 10-byte authentication
// code. The keys come from PBKDF2-HMAC-SHA1 (1000 rounds) over the password bytes and the salt; the
// data are encrypted with AES in counter mode (little-endian 64-bit counter starting at 1) and
// authenticated with HMAC-SHA1 over the ciphertext.
//
// Password bytes are UTF-8. When the verifier does not match on reading, the Latin-1 bytes of the same
// password are tried once, so that objects written by programs that used the 8-bit code page still open.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/CBFunctions.h"
#include "rtl/Streams.h"

class TEvent;

enum TOpResult
{
    orOk,
    orError,
    orUserBreak
};

// Returns true when the operation is to stop.
using TStatusEvent = std::function<bool()>;

// State of one header-blocks-trailer run (AES key schedule, counter, key stream, HMAC state).
struct TFCryptContext;

class TCrypt
{
public:
    TCrypt(const std::string& password, int aMode, int aBufSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt&) = delete;
    TCrypt& operator=(const TCrypt&) = delete;

    int KeyMode() const { return FMode; }
    // 1, 2 or 3 are taken as they are; any other value chooses the mode by the password length.
    void SetKeyMode(int value);
    // The pause event waited on before each buffer (not owned; nullptr = none).
    void SetEvent(TEvent* event) { FEvent = event; }

protected:
    // The stream methods pause, report progress and test for cancelling once per buffer step of
    // aBufSize bytes, but read, encrypt and write each step in slices of this size, so that the data
    // stay in the processor's cache from the read to the write.
    int64_t StreamSlice() const;
    // The slice buffer of the stream methods, made on first use (many objects only encrypt blocks).
    uint8_t* StreamBuffer();

    int FMode = 1;
    std::unique_ptr<TFCryptContext> FCryptCtx;
    std::string FPwd;
    std::string FLatin1Pwd; // the Latin-1 form of the password, empty when it has none or the same bytes
    uint32_t CBufSize;
    std::vector<uint8_t> CBuffer;
    TEvent* FEvent = nullptr;
};

class TEncryption : public TCrypt
{
public:
    TEncryption(const std::string& password, int aMode, int aBufSize);
    ~TEncryption() override;

    TFileProgressEvent OnProgress;

    int GetHeaderSize() const;
    int GetTrailerSize() const { return 10; }

    // Encrypts bLen bytes in place and feeds the ciphertext to the authentication code.
    void EncryptBlock(uint8_t* buffer, uint32_t bLen);
    // Feeds bLen bytes of ciphertext to the authentication code and decrypts them in place.
    void DecryptBlock(uint8_t* buffer, uint32_t bLen);
    // The two halves of EncryptBlock for a caller that authenticates elsewhere (TSideMac): applies the
    // key stream in place, and feeds ciphertext to the authentication code. Ciphertext must reach the
    // code in the order the key stream was applied.
    void ApplyKeyStream(uint8_t* buffer, uint32_t bLen);
    void Authenticate(const uint8_t* buffer, uint32_t bLen);

    // Draws a new salt, derives the keys and writes salt and verifier.
    bool WriteHeader(TStream& sDest);
    // Writes the 10-byte authentication code.
    bool WriteTrailer(TStream& sDest);
    // Reads salt and verifier and derives the keys; false on a wrong password or a read failure.
    bool ReadHeader(TStream& sSource);
    // Reads the 10-byte code; false when it differs from the computed one or cannot be read.
    bool ReadTrailer(TStream& sSource);

    // Encrypts sSource from its position to its end: header, ciphertext, trailer into sDest.
    TOpResult EncryptStreamEx(TStream& sSource, TStream& sDest, bool speedLimit,
                              const TStatusEvent& cancelEncryption = nullptr);
    bool EncryptStream(TStream& sSource, TStream& sDest, bool speedLimit);
    // Decrypts one object of sLength bytes (header, ciphertext, trailer) from sSource's position into
    // sDest, or only checks it when sDest is nullptr.
    TOpResult DecryptStreamEx(TStream& sSource, TStream* sDest, int64_t sLength, bool speedLimit,
                              const TStatusEvent& cancelDecryption = nullptr);
    bool DecryptStream(TStream& sSource, TStream* sDest, int64_t sLength, bool speedLimit);

    // Starts a run with a given salt (the header without writing it); for tests of the key stream.
    void StartRunWithSalt(const uint8_t* salt);

private:
    bool DeriveKeys(const std::string& password, const uint8_t* salt, uint8_t verifier[2]);
    void Crypt(uint8_t* buffer, uint32_t bLen);
    void WaitIfPaused();
};

// Runs the authentication code of an encryption on a thread of its own, so that encryption and
// authentication of a large object run side by side on two cores. The caller encrypts with
// ApplyKeyStream, hands each piece of ciphertext over with Post in order, and must not change a piece
// until WaitPending says it has been taken in. Finish waits for the rest; WriteTrailer comes after it.
class TSideMac
{
public:
    // Throws std::system_error when no thread can be started.
    explicit TSideMac(TEncryption& encryption);
    ~TSideMac(); // finishes when Finish was not called
    TSideMac(const TSideMac&) = delete;
    TSideMac& operator=(const TSideMac&) = delete;

    void Post(const uint8_t* data, uint32_t length);
    // Waits until at most count posted pieces are still to be taken in.
    void WaitPending(size_t count);
    // Waits for every posted piece and ends the thread; false when the authentication code failed.
    bool Finish();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// Salt length (8, 12, 16) of a key mode (1, 2, 3).
int SaltLength(int keyMode);
