#include "platform/ErrorCodes.h"

#include <cerrno>
#include <cstring>

using namespace WinError;

uint32_t ErrnoToWinError(int err)
{
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    case ESPIPE:
        return ERROR_SEEK;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EWOULDBLOCK:
        return ERROR_LOCK_VIOLATION;
    case ENOTSUP:
    case ENOSYS:
        return ERROR_NOT_SUPPORTED;
    case EHOSTDOWN:
        return ERROR_BAD_NETPATH;
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case ESTALE:
        return ERROR_NETNAME_DELETED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EILSEQ:
        return ERROR_NO_UNICODE_TRANSLATION;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG:
    case EOVERFLOW:
        return ERROR_FILE_TOO_LARGE;
    case EIO:
        return ERROR_IO_DEVICE;
    case ECANCELED:
        return ERROR_CANCELLED;
    case ECONNREFUSED:
        return ERROR_CONNECTION_REFUSED;
    case ENETUNREACH:
    case ENETDOWN:
        return ERROR_NETWORK_UNREACHABLE;
    case EHOSTUNREACH:
        return ERROR_HOST_UNREACHABLE;
    case ETIMEDOUT:
        return ERROR_TIMEOUT;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    default:
        return (FACILITY_ERRNO << 16) | (static_cast<uint32_t>(err) & 0xFFFF);
    }
}

uint32_t LastWinError()
{
    return ErrnoToWinError(errno);
}

int ErrnoOfWinError(uint32_t code)
{
    if (((code >> 16) & 0x7FF) != FACILITY_ERRNO)
        return 0;
    return static_cast<int>(code & 0xFFFF);
}

std::string SystemErrorText(uint32_t code)
{
    if (int err = ErrnoOfWinError(code))
        return std::strerror(err);
    if ((code >> 16) != 0)
        return {};
    switch (code) {
    case ERROR_SUCCESS:
        return "The operation completed successfully.";
    case ERROR_INVALID_FUNCTION:
        return "Incorrect function.";
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "The system cannot open the file.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Not enough memory resources are available to process this command.";
    case ERROR_INVALID_DRIVE:
        return "The system cannot find the drive specified.";
    case ERROR_NOT_SAME_DEVICE:
        return "The system cannot move the file to a different disk drive.";
    case ERROR_NO_MORE_FILES:
        return "There are no more files.";
    case ERROR_WRITE_PROTECT:
        return "The media is write protected.";
    case ERROR_NOT_READY:
        return "The device is not ready.";
    case ERROR_CRC:
        return "Data error (cyclic redundancy check).";
    case ERROR_SEEK:
        return "The drive cannot locate a specific area or track on the disk.";
    case ERROR_WRITE_FAULT:
        return "The system cannot write to the specified device.";
    case ERROR_READ_FAULT:
        return "The system cannot read from the specified device.";
    case ERROR_GEN_FAILURE:
        return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process.";
    case ERROR_LOCK_VIOLATION:
        return "The process cannot access the file because another process has locked a portion of the file.";
    case ERROR_HANDLE_EOF:
        return "Reached the end of the file.";
    case ERROR_HANDLE_DISK_FULL:
        return "The disk is full.";
    case ERROR_NOT_SUPPORTED:
        return "The request is not supported.";
    case ERROR_BAD_NETPATH:
        return "The network path was not found.";
    case ERROR_NETNAME_DELETED:
        return "The specified network name is no longer available.";
    case ERROR_NETWORK_ACCESS_DENIED:
        return "Network access is denied.";
    case ERROR_BAD_NET_NAME:
        return "The network name cannot be found.";
    case ERROR_FILE_EXISTS:
        return "The file exists.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    case ERROR_BROKEN_PIPE:
        return "The pipe has been ended.";
    case ERROR_OPEN_FAILED:
        return "The system cannot open the device or file specified.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_INVALID_NAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_NEGATIVE_SEEK:
        return "An attempt was made to move the file pointer before the beginning of the file.";
    case ERROR_DIR_NOT_EMPTY:
        return "The directory is not empty.";
    case ERROR_BUSY:
        return "The requested resource is in use.";
    case ERROR_ALREADY_EXISTS:
        return "Cannot create a file when that file already exists.";
    case ERROR_BAD_EXE_FORMAT:
        return "The file is not a valid program.";
    case ERROR_FILENAME_EXCED_RANGE:
        return "The filename or extension is too long.";
    case ERROR_FILE_TOO_LARGE:
        return "The file size exceeds the limit allowed and cannot be saved.";
    case ERROR_DIRECTORY:
        return "The directory name is invalid.";
    case ERROR_NOT_A_REPARSE_POINT:
        return "The file or directory is not a reparse point.";
    case ERROR_IO_DEVICE:
        return "The request could not be performed because of an I/O device error.";
    case ERROR_NO_UNICODE_TRANSLATION:
        return "No mapping for the Unicode character exists in the target multi-byte code page.";
    case ERROR_CANCELLED:
        return "The operation was canceled by the user.";
    case ERROR_CONNECTION_REFUSED:
        return "The remote computer refused the network connection.";
    case ERROR_NETWORK_UNREACHABLE:
        return "The network location cannot be reached.";
    case ERROR_HOST_UNREACHABLE:
        return "The remote system is not reachable by the transport.";
    case ERROR_PRIVILEGE_NOT_HELD:
        return "A required privilege is not held by the client.";
    case ERROR_LOGON_FAILURE:
        return "The user name or password is incorrect.";
    case ERROR_TIMEOUT:
        return "This operation returned because the timeout period expired.";
    case ERROR_CANT_RESOLVE_FILENAME:
        return "The name of the file cannot be resolved by the system.";
    default:
        return {};
    }
}
