#pragma once
// The time-stamp file "$TimeStamp.qvu" of a backup destination: eight bytes, the start time of the run
// that wrote it as a TDateTime (little-endian IEEE double, local time). The run writes it at its end and
// reads it before clearing a destination, so that a destination cleared for a differential or
// incremental cycle is cleared at most once per day. A local file's last-write time is that moment too.

#include <string>

#include "rtl/DateTime.h"

class TExtFtp;

extern const char* const TimestampFileName;

// Writes the file into Dir (the current folder for an empty Dir). An existing file is deleted first;
// when it cannot be deleted (a read-only one), nothing is written. Raises the file stream's exception
// when the file cannot be created or written.
void WriteTimestampFile(const std::string& dir, TDateTime time);
// The time stored in Dir's file; 0 when there is none, and also when it is shorter than eight bytes
// or holds no usable date (such a file never blocks clearing).
TDateTime ReadTimestampFile(const std::string& dir);

// The same in the server's current folder: uploads the file, replacing an existing one, and returns the
// error word of the upload (0 success).
unsigned WriteFtpTimestampFile(TExtFtp& ftp, TDateTime time);
// 0 when the current server folder holds no time-stamp file or it cannot be fetched.
TDateTime ReadFtpTimestampFile(TExtFtp& ftp);

// True when Dir holds nothing but the time-stamp file (or nothing at all).
bool IsEmptyExceptTimestamp(const std::string& dir);
