#pragma once
// Worker threads that move one file between the local disk and an FTP server: upload (optionally as a
// gzip member, a single-file zip or an encrypted file), download with restore, and download with
// comparison against the local file. They follow the copy-thread protocol of ExtFileTools and borrow
// the caller's connected TExtFtp, positioned in the right server directory; the caller does not touch
// the connection while a worker runs.
//
// Small data are transformed in memory; larger data go through temporary files in the worker's
// TempDir, which are deleted after their step. CancelThread marks the transfer as aborted (it is not
// retried after a failure) and returns only after the worker has finished. A worker given up after a
// time-out (AbandonWorker) aborts the connection's sockets: the caller makes a new connection and keeps
// the old TExtFtp object alive, since the worker may still hold it until it ends.

#include <cstdint>
#include <string>

#include "archive/ExtFileTools.h"
#include "archive/FtpUtils.h"

class TWriteFtpThread : public TGZipThread
{
public:
    // ASourceName: the local file; ADestName: the file name in the current server directory; ADestDir:
    // the server directory to return to when the connection has to be made again.
    TWriteFtpThread(TExtFtp* AFtp, const std::string& ASourceName, const std::string& ADestDir,
                    const std::string& ADestName, TEncryption* AEncryption, TCopyOptions AOptions,
                    bool ASuspend, int ABufSize);
    ~TWriteFtpThread() override;
    void CancelThread() override;
    // Bytes uploaded (for a single-file zip: the size of the source).
    int64_t FileSize() const { return FFileSize; }

protected:
    void Execute() override;

private:
    int Run();
    int VerifyUpload(TStream& data);

    TExtFtp* FFtp;
    bool FZipCompress;
    std::string FDestDir;
    int64_t FFileSize = 0;
};

class TReadFtpThread : public TGUnZipThread
{
public:
    // ASourceName: the file name in the current server directory; ADestName: the local file;
    // AFileSize: the listed size of the server file.
    TReadFtpThread(TExtFtp* AFtp, const std::string& ASourceName, const std::string& ADestName,
                   int64_t AFileSize, TEncryption* AEncryption, bool ACompress, bool AZipCompress,
                   bool ASuspend, int ABufSize);
    ~TReadFtpThread() override;
    void CancelThread() override;
    // The source's last-write time (Unix seconds, UTC) from the gzip header, zip entry or encrypted-file
    // header; 0 for a plain download.
    uint32_t ModTime() const { return FModTime; }

protected:
    void Execute() override;
    // Downloads the server file into a memory or temporary stream (file when FFileSize > threshold).
    int Download(int64_t threshold, const char* tmpName, std::unique_ptr<TStream>& stream,
                 std::string& fileName);
    // Restores the gzip member in sSource into dest (decrypting through a temporary stream).
    int RestoreGz(TStream* dest, int64_t restoreThreshold, std::unique_ptr<TStream>* restore,
                  std::string* restoreName);

    TExtFtp* FFtp;
    uint32_t FModTime = 0;
    bool FZipCompress;
    int64_t FFileSize;

private:
    int Run();
};

class TCompareFtpThread : public TReadFtpThread
{
public:
    using TReadFtpThread::TReadFtpThread;

protected:
    void Execute() override;

private:
    int Run();
};
