#pragma once
// The worker threads of the zip classes: one worker per entry compresses, encrypts, verifies,
// extracts or compares the entry's data while the zip class waits in the caller's thread; and the
// thread that unpacks a single-file zip of the copy engine.
//
// The workers are copy threads: pause, cancel, progress (run on the creating thread by
// Synchronize), the error word and Done come from TCopyThread. They are created suspended; the
// caller sets them up and starts them. The encryption object is lent, not owned.

#include <cstdint>
#include <memory>
#include <string>

#include "archive/ExtFileTools.h"

// Base of the writing and verifying workers (error words with the zip operation bits).
class TZipThread : public TGZipThread
{
public:
    // The plain bytes read and the bytes written to the destination.
    int64_t PlainBytes() const { return UTotal; }
    int64_t WrittenBytes() const { return CTotal; }

protected:
    TZipThread(TEncryption* aEncryption, bool aSuspend, int aBufSize, const TFileProgressEvent& aOnProgress);
};

// Compresses and/or encrypts one entry into the archive (or, without a destination, only counts
// CRC-32 and size).
class TZipWriteThread : public TZipThread
{
public:
    TZipWriteThread(const std::string& aFileName, TEncryption* aEncryption, TStream* zStream, bool aCompress,
                    bool aSuspend, int aBufSize, const TFileProgressEvent& aOnProgress);
    // The source stream is freed by the worker.
    TZipWriteThread(std::unique_ptr<TStream> aSource, TEncryption* aEncryption, TStream* zStream,
                    bool aCompress, bool aSuspend, int aBufSize, const TFileProgressEvent& aOnProgress);

protected:
    void Execute() override;

private:
    int WriteEntry();
    TStream* FZStream;
    bool FFromFile;
    bool FCompressEntry;
};

// Checks one entry of a written archive.
class TZipVerifyThread : public TZipThread
{
public:
    // zStream stands at the entry data.
    TZipVerifyThread(TEncryption* aEncryption, uint32_t aCrc, TStream& zStream, int64_t aLength,
                     int64_t uSize, bool aCompress, bool aSuspend, int aBufSize,
                     const TFileProgressEvent& aOnProgress);

protected:
    void Execute() override;
    int64_t FLength;
    int64_t FSize;

private:
    int VerifyEntry();
    uint32_t FExpectedCrc;
    TStream& FZStream;
    bool FCompressed;
};

// Unpacks the single-file zip of the copy engine into a file; base of the reading workers.
class TUnZipThread : public TCopyThread
{
public:
    TUnZipThread(const std::string& aSourceName, const std::string& aDestName, TEncryption* aEncryption,
                 bool aSuspend, int aBufSize);

protected:
    void Execute() override;

private:
    int UnzipFile();
};

// Extracts one entry into a file or a stream.
class TZipReadThread : public TUnZipThread
{
public:
    // Reads from zStream (at the entry data) into the new file aFileName.
    TZipReadThread(TStream& zStream, const std::string& aFileName, TEncryption* aEncryption,
                   const TZipFileInfo& aZipInfo, bool aSuspend, int aBufSize,
                   const TFileProgressEvent& aOnProgress);
    // Reads from zStream (at the entry data) into aDest (not owned).
    TZipReadThread(TStream& zStream, TStream* aDest, TEncryption* aEncryption, const TZipFileInfo& aZipInfo,
                   bool aSuspend, int aBufSize, const TFileProgressEvent& aOnProgress);
    // No encryption; zStream stands at the local header, which the worker reads itself.
    TZipReadThread(TStream& zStream, TStream* aDest, bool aSuspend, int aBufSize,
                   const TFileProgressEvent& aOnProgress);

    // The AES field of the entry as the central directory has it: the vendor version (1: the CRC-32
    // is checked too) and the method of the encrypted data (0 stored, 8 deflated).
    void SetAesData(uint16_t version, uint16_t method);

protected:
    void Execute() override;
    // Steps 2 to 4 of an extraction into dest.
    int ExtractEntry(TStream* dest);

    TZipFileInfo FZipInfo;
    bool RdLocalHeader = false;
    TStream& FZStream;
    TStream* FDestStream = nullptr;
    uint16_t FAesVersion = 2;
    uint16_t FAesMethod = 8;

private:
    int ReadEntry();
};

// Compares one entry with a reference stream (freed by the worker).
class TZipCompareThread : public TZipReadThread
{
public:
    TZipCompareThread(TStream& zStream, std::unique_ptr<TStream> aRef, TEncryption* aEncryption,
                      const TZipFileInfo& aZipInfo, bool aSuspend, int aBufSize,
                      const TFileProgressEvent& aOnProgress);

protected:
    void Execute() override;

private:
    int CompareEntry();
};
