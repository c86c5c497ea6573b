#pragma once
// The user's folders after the XDG base-directory and user-dirs conventions. No trailing slashes.

#include <string>

std::string HomeDir();       // $HOME, else the password database
std::string XdgConfigHome(); // $XDG_CONFIG_HOME, else ~/.config
std::string XdgDataHome();   // $XDG_DATA_HOME, else ~/.local/share
std::string XdgCacheHome();  // $XDG_CACHE_HOME, else ~/.cache
std::string XdgRuntimeDir(); // $XDG_RUNTIME_DIR; empty when not set
std::string TempDir();       // $TMPDIR, else /tmp

// A user folder of user-dirs.dirs: Kind is the middle of the key ("DOCUMENTS", "DESKTOP", "DOWNLOAD",
// "MUSIC", "PICTURES", "VIDEOS", "TEMPLATES", "PUBLICSHARE"). The file wins, then the environment
// variable XDG_<Kind>_DIR, then ~/Documents or ~/Desktop for those two and the home folder for the others.
std::string XdgUserDir(const std::string& kind);

// The value of one key of a user-dirs.dirs text ("$HOME" expanded with Home); empty when missing.
std::string ParseUserDirsLine(const std::string& text, const std::string& key, const std::string& home);

std::string DocumentsDir();
std::string DesktopDir();
std::string AutostartDir(); // XdgConfigHome()/autostart
