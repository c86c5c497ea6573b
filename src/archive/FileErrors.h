#pragma once
// The error word of the copy, archive and FTP routines and its message texts.
//
// An error word is a 16-bit value (0 = success):
//   bits 0 to 7    message number (0 = the system's text for code 0, 1 to 38, 128 = terminated by the user)
//   bits 8 to 11   severity (1 error, 2 warning, 3 error concerning the second file of an operation)
//   bits 12 to 15  operation (1 copy, 2 gzip, 3 gunzip, 4 zip, 5 encrypt, 6 decrypt, 7 unzip)

#include <cstdint>
#include <string>

inline unsigned ErrorWordNumber(unsigned errWord)
{
    return errWord & 0xFF;
}
inline unsigned ErrorWordSeverity(unsigned errWord)
{
    return (errWord >> 8) & 0x0F;
}
inline unsigned ErrorWordOperation(unsigned errWord)
{
    return (errWord >> 12) & 0x0F;
}

// The one-line text of an error word for a file, with an optional system message; never raises.
//   "Error - Could not read from file: "name" (Access is denied.) (-> Copy)"
std::string FormatFileError(unsigned ErrWord, const std::string& FileName, const std::string& SysMsg);

// FormatFileError without system message, naming DestName when the message concerns the file being
// written (numbers 1, 5, 6, 13, 15, 20, 23, 25, 35) and SourceName otherwise.
std::string FormatCopyError(const std::string& SourceName, const std::string& DestName, unsigned ErrWord);
