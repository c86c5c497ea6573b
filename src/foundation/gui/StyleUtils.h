#pragma once
// The program's light and dark styles. The light style is the one active at program start; the dark
// style is Fusion with a dark palette. The desktop's colour-scheme preference (the freedesktop
// appearance setting) decides when the program follows the desktop.

#include <QColor>
#include <QPalette>
#include <cstdint>
#include <string>

// light style := the start style; dark style := name (the main window passes "Windows10 Dark",
// which stands for Fusion with the dark palette).
void SetDarkStyle(const std::string& name);
// Switches to the dark or the light style when it is not active already.
void ApplyStyle(bool dark);
// True when the desktop prefers a dark colour scheme.
bool IsWindowsDarkMode();
void FollowWindowsTheme();
// True while a style other than the start style is active.
bool IsStyleActive();
// The name of the active style ("" until ApplyStyle switched the first time: the start style).
std::string ActiveStyleName();

// Colour values $00BBGGRR; values from 0x1000000 on are system colours.
QColor ColorFromTColor(int32_t color);
// Default under the start style, else the colour of that palette role in the active style.
QColor GetStyledColor(QPalette::ColorRole role, const QColor& def);
// 0 for equal colours, 255 when exactly one is a system colour, else the rounded root of the mean of
// the squared differences of red, green and blue.
int ColorDistance(int32_t a, int32_t b);
// The palette of the dark style.
QPalette DarkPalette();
