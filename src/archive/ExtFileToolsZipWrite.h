#pragma once
// The zip writer: directories, files and streams, stored, deflated or AES-encrypted, with zip64
// where sizes need it, encrypted entry names, and optionally split into segments.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ExtFileToolsZip.h"

// What the writer needs to know of a source file beforehand.
struct TZipSourceData
{
    int64_t Size = 0;
    int64_t MTime = 0; // Unix seconds of the last write
};

class TZipWrite : public TZip
{
public:
    TZipWrite(const std::string& zipName, const std::string& basicDirectory, int64_t aMaxSize,
              const std::string& password, int aKeyMode, int aBufSize);
    TZipWrite(const std::string& zipName, const std::string& basicDirectory, const std::string& password,
              int aKeyMode, int aBufSize);
    ~TZipWrite() override;

    void AddDir(const std::string& dirName);
    std::string RemLastDir();
    void AddStream(std::unique_ptr<TStream> aSource, const std::string& aName, bool aCompress);
    void AddFile(const std::string& sourceName, const std::string& fileName, const TZipSourceData& fileData,
                 int& aRatio, bool aCompress);
    void AddFile(const std::string& sourceName, const std::string& fileName, int& aRatio, bool aCompress);
    void AddFile(const std::string& sourceName, const std::string& fileName, bool aCompress);
    void AddFile(const std::string& sourceName, int& aRatio, bool aCompress);
    void AddFile(const std::string& sourceName, bool aCompress);
    void AddFile(const std::string& sourceName, const TZipSourceData& fileData, bool aCompress);
    void AddFileFrom(const std::string& sourceName, const std::string& filePath,
                     const TZipSourceData& fileData, int& aRatio, bool aCompress);
    void AddFiles(const std::string& directory, const std::string& filter, const std::string& subDir,
                  int& count, std::vector<std::string>* errList);

    void WriteDirectory();
    void Verify();
    void DeleteZipFile();
    void RenameZipFile(const std::string& newName);

    void Cancel();
    void Suspend();
    void Resume();

    int64_t MaxSize() const { return fMaxSize; }
    void SetEncryptNames(bool value) { FEncNames = value && FEncrypt; }
    bool EncryptNames() const { return FEncNames; }
    void SetTempDir(const std::string& dir);
    void SetOnVerifyProgress(TFileProgressEvent handler) { FOnVerifyProgress = std::move(handler); }
    void SetOnFullDisk(TConfirmEvent handler) { FOnFullDisk = std::move(handler); }

    // 1000 x compressed / size, rounded half to even; -1 when not compressed, empty or 1000 and above.
    static int CompressionRatio(int64_t compressed, int64_t size, bool compressed_);

protected:
    int NewSegment();
    bool CheckSegment(int64_t aSpace);

private:
    std::string RelativeName(const std::string& sourceName) const;
    void CutBack(int64_t offset);
    void RequireOpen(const std::string& message);

    TFileProgressEvent FOnVerifyProgress;
    TConfirmEvent FOnFullDisk;
    int64_t fMaxSize = 0;
};
