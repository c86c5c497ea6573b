#pragma once
// Opening a found file of a backup for the user: stored copies that are compressed, encrypted or
// inside a zip archive are unpacked into the temporary folder first; a plain copy is opened in place.

#include <string>

#include "tools/QvFileList.h"

struct TViewRequest
{
    std::string CryptPwd; // known password; asked for when needed and empty, forgotten when wrong
    int KeyMode = 0;
    std::string Caption;    // title of the password prompt
    bool Temporary = false; // out: the returned file was made for viewing
};

// The file to open for entry listIndex of list, or "" when the action ends (cancelled password,
// wrong password or an error, each already shown to the user).
std::string PrepareFileForView(const TFileTransferList& list, int listIndex, TViewRequest& request);
// Opens file with viewer (argument quoted by the process start), or by its file type without one.
void OpenWithViewer(const std::string& viewer, const std::string& file);
// Starts the compare program on the target and the viewed file with the options.
void StartCompare(const std::string& program, const std::string& target, const std::string& file,
                  const std::string& options);
