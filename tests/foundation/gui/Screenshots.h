#pragma once
// One picture of each dialog in the light and in the dark style, as PNG files in a folder.

#include <string>

// Returns the number of pictures written; writes light-<name>.png and dark-<name>.png.
int TakeScreenshots(const std::string& folder);
