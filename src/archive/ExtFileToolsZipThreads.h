#pragma once
// The worker threads of the zip classes: one worker per entry compresses, encrypts, verifies,
// extracts or compares the entry's data while the zip class waits in the caller's thread.
//
// Progress reports of a worker are handed to the waiting thread, which runs the handler and lets
// the worker go on (so a handler that throttles slows the worker down). Pause is a gate the worker
// passes before each buffer; cancel is seen after each buffer and ends the work with 128.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/ExtFileToolsZip.h"

class TZipWorker
{
public:
    virtual ~TZipWorker();
    TZipWorker(const TZipWorker&) = delete;
    TZipWorker& operator=(const TZipWorker&) = delete;

    void Start();
    bool Done() const { return FDone.load(); }
    bool Paused() const { return FPaused.load(); }
    void SetPaused(bool value);
    void CancelThread() { FUserBreak.store(true); }
    bool IsCancelled() const { return FUserBreak.load(); }
    // The error word (number with severity, or'ed with the operation bits); 0 = success.
    int ErrorCode() const { return FError; }
    const std::string& SysErrorMsg() const { return FSysErrMsg; }
    uint32_t Crc() const { return FCrc; }
    int64_t UTotal = 0;
    int64_t CTotal = 0;

    // Waits up to waitMs for a progress report or the end; runs a pending report's handler.
    void ServeProgress(int waitMs);
    // Stops handing reports to the waiting thread (reports are dropped from then on).
    void DetachProgress();

    TFileProgressEvent OnProgress;

protected:
    TZipWorker(int bufSize, int errFlag);
    virtual int Work() = 0;

    // Waits while paused.
    void Gate();
    void DoProgress(TFileAction action, bool speedLimit, int64_t count);
    void SetSysErrMsg(std::string msg) { FSysErrMsg = std::move(msg); }

    // The steps; each returns an error word without operation bits.
    int CopyStreamData(TStream& src, TStream* dest, bool speedLimit, int64_t length);
    int DeflateStream(TStream& src, TStream& dest, bool speedLimit, int64_t length);
    int InflateStream(TStream& src, TStream* dest, bool speedLimit, int64_t length);
    int CompareStreams(TStream& a, TStream& b, bool speedLimit);
    // Encrypts length bytes of src (deflated first when deflate) as one AES object into dest.
    // Without a cipher the data is only deflated (or copied).
    int EncryptEntry(TZipCipher* cipher, TStream& src, TStream& dest, bool deflate, int64_t length,
                     bool speedLimit);
    // Decrypts one AES object of length bytes into dest (nowhere when nullptr); 0, 128 or errorWord.
    int DecryptEntry(TZipCipher& cipher, TStream& src, TStream* dest, bool speedLimit, int64_t length,
                     int errorWord);

    std::vector<uint8_t> FBuffer;
    uint32_t FCrc = 0;
    std::string fTmpDir;

private:
    void Run();
    int WriteOut(TStream& dest, const uint8_t* data, int64_t count);

    std::thread FThread;
    std::atomic<bool> FDone{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FUserBreak{false};
    int FError = 0;
    int FErrFlag;
    std::string FSysErrMsg;

    std::mutex FMutex;
    std::condition_variable FCond;
    bool FGateOpen = true;
    bool FReportPending = false;
    bool FDetached = false;
    TFileAction FAction = acNone;
    int64_t FCount = 0;
    bool FSpeedLimit = false;
};

// Base of the writing and verifying workers.
class TZipThread : public TZipWorker
{
protected:
    explicit TZipThread(int bufSize) : TZipWorker(bufSize, 0x4000) {}
};

// Compresses and/or encrypts one entry into the archive (or, without a destination, only counts
// CRC-32 and size).
class TZipWriteThread : public TZipThread
{
public:
    TZipWriteThread(const std::string& aFileName, std::unique_ptr<TZipCipher> aEncryption, TStream* zStream,
                    bool aCompress, int aBufSize, TFileProgressEvent aOnProgress);
    TZipWriteThread(std::unique_ptr<TStream> aSource, std::unique_ptr<TZipCipher> aEncryption,
                    TStream* zStream, bool aCompress, int aBufSize, TFileProgressEvent aOnProgress);

protected:
    int Work() override;

private:
    std::string FFileName;
    std::unique_ptr<TStream> FSource;
    std::unique_ptr<TZipCipher> FEncryption;
    TStream* FDest;
    bool FCompress;
};

// Checks one entry of a written archive.
class TZipVerifyThread : public TZipThread
{
public:
    TZipVerifyThread(std::unique_ptr<TZipCipher> aEncryption, uint32_t aCrc, TStream& zStream,
                     int64_t aLength, int64_t uSize, bool aCompress, int aBufSize,
                     TFileProgressEvent aOnProgress);

protected:
    int Work() override;

private:
    std::unique_ptr<TZipCipher> FEncryption;
    uint32_t FExpectedCrc;
    TStream& FZStream;
    int64_t FLength;
    int64_t FSize;
    bool FCompress;
};

// Extracts one entry into a file or a stream.
class TZipReadThread : public TZipWorker
{
public:
    // Reads from zStream (at the entry data) into the new file aFileName.
    TZipReadThread(TStream& zStream, const std::string& aFileName, std::unique_ptr<TZipCipher> aEncryption,
                   const TZipFileInfo& aZipInfo, int aBufSize, TFileProgressEvent aOnProgress);
    // Reads from zStream (at the entry data) into aDest (not owned).
    TZipReadThread(TStream& zStream, TStream* aDest, std::unique_ptr<TZipCipher> aEncryption,
                   const TZipFileInfo& aZipInfo, int aBufSize, TFileProgressEvent aOnProgress);
    // No encryption; zStream stands at the local header, which the worker reads itself.
    TZipReadThread(TStream& zStream, TStream* aDest, int aBufSize, TFileProgressEvent aOnProgress);

protected:
    int Work() override;
    // Steps 2 to 4 of an extraction into dest.
    int ExtractEntry(TStream& dest);

    TStream& FZStream;
    std::string FFileName;
    TStream* FDest = nullptr;
    std::unique_ptr<TZipCipher> FEncryption;
    TZipFileInfo FZipInfo;
    bool RdLocalHeader = false;
};

// Compares one entry with a reference stream (owned by the worker).
class TZipCompareThread : public TZipReadThread
{
public:
    TZipCompareThread(TStream& zStream, std::unique_ptr<TStream> aRef,
                      std::unique_ptr<TZipCipher> aEncryption, const TZipFileInfo& aZipInfo, int aBufSize,
                      TFileProgressEvent aOnProgress);

protected:
    int Work() override;

private:
    std::unique_ptr<TStream> FRef;
};

// Copies a given length from one open stream into another (neither is owned).
class TZipCopyPartThread : public TZipWorker
{
public:
    TZipCopyPartThread(TStream& source, TStream& dest, int64_t length, bool speedLimit, int bufSize,
                       TFileProgressEvent onProgress);

protected:
    int Work() override;

private:
    TStream& FSource;
    TStream& FDest;
    int64_t FLength;
    bool FSpeedLimit;
};
