#pragma once
// A ready backup task for the profile folder of the Thunderbird mail client, written straight into a
// task file: the profile without its caches, locks and logs, and its calendar data.

#include <string>

// The folder that holds the mail client's profiles: ~/.thunderbird, else the Flatpak or Snap location
// where that exists; ~/.thunderbird when none exists.
std::string MailProfileRoot();
// Writes the task file (replacing what it held). Returns "" on success, else the message
// "Error saving task "<file>"!".
std::string WriteProfileTaskFile(const std::string& FileName, const std::string& ProfileDir,
                                 const std::string& DestDir, const std::string& DriveId,
                                 const std::string& Version = "6.0.0");
