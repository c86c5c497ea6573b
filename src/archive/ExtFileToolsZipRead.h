#pragma once
// The zip reader: reads the central directory of an archive (split ones included) and extracts or
// compares single entries.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/ExtFileToolsZip.h"

class TZipReadThread;

using TGetNumStrProc = std::function<void(int value, const std::string& s)>;
using TDirStat = std::function<void(int value, const std::string& s)>;

class TZipRead : public TZip
{
public:
    TZipRead(const std::string& zipName, const std::string& password, int aKeyMode, int aBufSize);
    // An archive held in a stream (not split); used for archives that are not files.
    TZipRead(std::unique_ptr<TStream> stream, const std::string& password, int aKeyMode, int aBufSize);
    ~TZipRead() override;

    void ClearFileList() { FileList.Clear(); }
    void ReadDirectory(const TDirStat& callback = nullptr);
    // The decoded name of an entry: "/" as separator, relative, without "." and ".." parts.
    std::string Filename(int index) const;
    bool IsEncrypted(int index) const;
    void ExtractToFile(const TPkHeader& pkHeader, const std::string& destFilename, bool resetArchiveBit);
    void ExtractToFile(int index, const std::string& destFilename, bool resetArchiveBit);
    bool ExtractToStream(const std::string& filename, TStream& sDest);
    void CompareToFile(const TPkHeader& pkHeader, const std::string& refFilename);
    void CompareToFile(int index, const std::string& destFilename);
    void Cancel();

    int64_t DirectoryOffset() const { return bod; }
    void SetOnReadDirStatus(TGetNumStrProc handler) { FOnReadDirStatus = std::move(handler); }

private:
    // Positions a stream at the entry's data (gathering split data into temp); returns an error number.
    using TReadWorkerFactory = std::function<std::unique_ptr<TZipReadThread>(TStream&, const TZipFileInfo&)>;
    // Prepares the entry's data and runs the worker made for it; returns the error number.
    int RunEntryWorker(const TPkHeader& h, std::string& sysMsg, const TReadWorkerFactory& make);
    int PrepareEntry(const TPkHeader& h, TSegStream& seg, ZipUtil::TTempStream& temp, TZipFileInfo& info,
                     TStream*& source, std::string& sysMsg);
    TGetNumStrProc FOnReadDirStatus;
    int64_t bod = 0;
};
