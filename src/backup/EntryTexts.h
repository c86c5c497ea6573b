#pragma once
// The selection summary of a source folder entry, as the folder list and the task log show it:
// " [all]", " [from 2025-03-01, only *.txt <1 MiB]", " [F] [all] [E]" and the like.

#include <string>

#include "backup/ExtensionList.h"

// Short: the filter text is cut after 25 characters (when longer than 27).
std::string EntrySelectionText(const TExtensionList& list, bool shortText);
