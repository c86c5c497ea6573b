#pragma once
// The one place where errno values become the Windows-style error codes the suite compares and logs.
//
// Mapped errno values give the plain code (2 file not found, 5 access denied, 112 disk full, …).
// Unmapped values keep their errno in the low 16 bits under the facility FACILITY_ERRNO, so they
// still count as errors and their text still comes from strerror.

#include <cstdint>
#include <string>

namespace WinError {
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DRIVE = 15;
constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;
constexpr uint32_t ERROR_NO_MORE_FILES = 18;
constexpr uint32_t ERROR_WRITE_PROTECT = 19;
constexpr uint32_t ERROR_NOT_READY = 21;
constexpr uint32_t ERROR_CRC = 23;
constexpr uint32_t ERROR_SEEK = 25;
constexpr uint32_t ERROR_WRITE_FAULT = 29;
constexpr uint32_t ERROR_READ_FAULT = 30;
constexpr uint32_t ERROR_GEN_FAILURE = 31;
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_LOCK_VIOLATION = 33;
constexpr uint32_t ERROR_HANDLE_EOF = 38;
constexpr uint32_t ERROR_HANDLE_DISK_FULL = 39;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_BAD_NETPATH = 53;
constexpr uint32_t ERROR_NETNAME_DELETED = 64;
constexpr uint32_t ERROR_NETWORK_ACCESS_DENIED = 65;
constexpr uint32_t ERROR_BAD_NET_NAME = 67;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_BROKEN_PIPE = 109;
constexpr uint32_t ERROR_OPEN_FAILED = 110;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_NEGATIVE_SEEK = 131;
constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr uint32_t ERROR_BUSY = 170;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_BAD_EXE_FORMAT = 193;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t ERROR_FILE_TOO_LARGE = 223;
constexpr uint32_t ERROR_DIRECTORY = 267;
constexpr uint32_t ERROR_NOT_A_REPARSE_POINT = 4390;
constexpr uint32_t ERROR_IO_DEVICE = 1117;
constexpr uint32_t ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr uint32_t ERROR_CANCELLED = 1223;
constexpr uint32_t ERROR_CONNECTION_REFUSED = 1225;
constexpr uint32_t ERROR_NETWORK_UNREACHABLE = 1231;
constexpr uint32_t ERROR_HOST_UNREACHABLE = 1232;
constexpr uint32_t ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr uint32_t ERROR_LOGON_FAILURE = 1326;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_CANT_RESOLVE_FILENAME = 1921;
} // namespace WinError

// Facility (bits 16 to 26) of codes that carry an errno value nobody mapped.
constexpr uint32_t FACILITY_ERRNO = 0x0E0;

// The Windows-style code of an errno value (0 for 0).
uint32_t ErrnoToWinError(int err);
// The code of the calling thread's errno.
uint32_t LastWinError();
// The errno value behind a code of facility FACILITY_ERRNO, or 0 when it is not one.
int ErrnoOfWinError(uint32_t code);

// The text of a code: our own table for mapped codes, strerror for errno codes; empty when unknown.
std::string SystemErrorText(uint32_t code);
