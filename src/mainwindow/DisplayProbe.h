#pragma once
// Whether the program can show windows. Headless runs never load the window libraries: the program
// starts its windowed build only where a display answers.

// True when a display is there to show windows on: DISPLAY or WAYLAND_DISPLAY names one that accepts
// a connection, or QT_QPA_PLATFORM chooses a platform explicitly.
bool DisplayAvailable();
