#pragma once
// How a restore or cleanup run asks the user to confirm the entries it found before it changes
// anything. The run fills a TFileTransferList and hands it over with a description; the answer may
// clear IsSelected flags of entries and says whether the run goes on. The confirmation view of the
// tools' gui half answers with the dialog; without a user every entry stays as the scan selected it.

#include <string>

#include "tools/QvFileList.h"

enum TConfMode
{
    cmRestore,      // restore from a folder
    cmRestoreZip,   // restore from a zip archive
    cmCleanupFiles, // delete files
    cmCleanUpDirs   // delete whole directories
};

enum TContextMode
{
    cmNone, // no context menu
    cmView, // "Show file"
    cmAll   // "Show file" and "Compare file"
};

struct TConfirmRequest
{
    TConfMode CMode = cmRestore;
    TContextMode ContextMode = cmNone;
    std::string Taskname;
    std::string Source; // folder or archive shown at the top
    std::string sDest;  // the line under it
    std::string sAlter; // up to three description lines
    std::string sTypen;
    std::string sFilter;
    std::string CryptPwd; // password and key mode for viewing encrypted entries
    int KeyMode = 0;
    bool ShowEmpty = false; // empty directories count as directories
    int Anzahl = 0;         // number of entries found; 0 = nothing to confirm
};

class IConfirmFiles
{
public:
    virtual ~IConfirmFiles() = default;
    // True when the run is to go on with the selected entries of list.
    virtual bool ConfirmFileList(const TConfirmRequest& request, TFileTransferList& list) = 0;
};

// Nobody present: the run goes on with the entries the scan selected (nothing found: false).
class THeadlessConfirmFiles : public IConfirmFiles
{
public:
    bool ConfirmFileList(const TConfirmRequest& request, TFileTransferList&) override
    {
        return request.Anzahl > 0;
    }
};
