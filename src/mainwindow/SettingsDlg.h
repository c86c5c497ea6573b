#pragma once
// Factory values of the program settings.

#include "foundation/BuConsts.h"

// Fills every field of settings with its factory value. defaultTaskDir is the task folder
// "<Documents>/Vastrel/"; german selects the German drive identifier.
void SetDefaultSettings(TQvSettings& settings, const std::string& defaultTaskDir, bool german = false);
