#include "archive/ExtFileUtils.h"

#include "archive/EngineFs.h"

bool GetFileData(const std::string& path, TFileData& data)
{
    data = TFileData{};
    data.TimeStamps.Reset();
    data.FileName = EngineFs::ExtractFileName(path);
    TWin32FileAttributeData attrData;
    if (GetFileAttrData(path, attrData, false) != 0)
        return false;
    FindDataToTimestamps(attrData, data.TimeStamps);
    data.FileSize = GetAttrDataSize(attrData);
    data.FileAttr = attrData.dwFileAttributes;
    return true;
}
