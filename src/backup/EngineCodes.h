#pragma once
// Names for the codes the backup engine and the task model share: the backup methods (a task's
// DestMode), the levels of task-log lines, what became of a file the copy loop handed on, the parts of
// the error words it reads, and the attribute masks of its folder searches. The values are those that
// task files store and the per-file engine reports; only the names are new.

#include "platform/FileStatus.h"

// ---- folder searches

// Attribute masks of the engine's folder searches (FindFirst reports hidden, system and volume entries
// and folders only when the mask asks for them): every entry, and the files with the hidden and system
// ones.
constexpr int faSearchAll = 0x1FF; // every bit of the search's attribute word up to $100
constexpr int faSearchFiles = static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive | faNormal);
