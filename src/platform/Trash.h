#pragma once
// The Recycle Bin of Linux desktops: the freedesktop.org Trash.
//
// Items on the volume of the home trash ($XDG_DATA_HOME/Trash) go there with an absolute path in their
// .trashinfo; items on other volumes go to $topdir/.Trash/$uid (when the administrator prepared a
// sticky .Trash folder) or $topdir/.Trash-$uid, with a path relative to $topdir. A name already in the
// trash gets a number appended ("a.txt" then "a.2.txt", "a.3.txt" …).

#include <cstdint>
#include <string>

// The home trash folder ($XDG_DATA_HOME/Trash, or ~/.local/share/Trash).
std::string HomeTrashDir();

// Moves a file, link or folder tree into the trash. 0 or a Windows-style code; nothing is deleted
// when no trash can take the item (the item stays where it is).
// TrashedAs receives the path of the item inside the trash's "files" folder.
uint32_t MoveToTrash(const std::string& path, std::string* trashedAs = nullptr);

// Percent-encodes a path for a .trashinfo file (RFC 2396: unreserved characters and "/" stay).
std::string TrashEncodePath(const std::string& path);
