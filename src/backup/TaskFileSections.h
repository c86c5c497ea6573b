#pragma once
// The sections of a task file besides [Global]: the predefined sub-directory filters [DirFilter], the
// source folders [Dir000] …, the FTP destination [Ftp] with its proxy [Proxy], the mail report [Mail]
// and the share account [User].

#include <string>

#include "backup/TaskFileReader.h"

namespace taskfile {

void ReadDirFilter(TTaskSettings& task, TTaskReader& reader);
void WriteDirFilter(TMemIniFile& ini, const TTaskSettings& task);

// [User]: an empty user name leaves the account as it is.
void ReadUserSection(TTaskSettings& task, TTaskReader& reader);
void WriteUserSection(TMemIniFile& ini, const TTaskSettings& task);

// [Ftp] and [Proxy] into a record that holds the defaults to fall back on.
void ReadFtpSection(TTaskReader& reader, TFtpParams& params);
// Erases [Ftp] and writes it, then writes [Proxy] (not erased).
void WriteFtpSection(TMemIniFile& ini, const TFtpParams& params);

// [Mail] into a record reset to the mail defaults.
void ReadMailSection(TTaskReader& reader, TMailData& mail);
// Erases [Mail] and writes it.
void WriteMailSection(TMemIniFile& ini, const TMailData& mail);

// Appends the folder sections [Dir000] … (dirCount of them, one with ReplSourceDir) to task.Folders.
// Returns true when the user cancelled a volume prompt; the folder of that section is still added.
bool ReadFolderSections(TTaskSettings& task, TTaskReader& reader, int dirCount, TInteraction interaction,
                        const TFormatSettings& format, const TTaskEnvironment& environment);
void WriteFolderSection(TMemIniFile& ini, const TExtensionList& entry, const std::string& section,
                        const TFormatSettings& format);
// FileCount, ByteCountH, ByteCountL and SyncCount of every folder, into [Dir<i>].
void WriteFolderStatistics(TMemIniFile& ini, const TTaskSettings& task);

// "Dir" + three digits.
std::string FolderSectionName(int index);

} // namespace taskfile
