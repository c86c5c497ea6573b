#include "archive/ExtFileUtils.h"

bool GetFileData(const std::string& path, TFileData& data)
{
    data = TFileData{};
    data.FileName = EngineFs::ExtractFileName(path);
    EngineFs::FileStat info;
    if (EngineFs::StatPath(path, info, false) != 0)
        return false;
    data.FileSize = info.Size;
    data.FileAttr = info.Attr;
    data.TimeStamps = info.Times;
    return true;
}
