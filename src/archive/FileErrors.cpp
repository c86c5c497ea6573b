#include "archive/FileErrors.h"

#include <array>

#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// Texts of the message numbers 1 to 38.
constexpr std::array<const char*, 38> MessageTexts = {
    N_("Could not create file"),
    N_("Could not open file"),
    N_("Could not close file"),
    N_("Could not read from file"),
    N_("Could not write to file"),
    N_("Attributes could not be set"),
    N_("Low disk space"),
    N_("Illegal file header"),
    N_("Corrupt file"),
    N_("Encryption failed"),
    N_("Decryption failed"),
    N_("Verification failed"),
    N_("Path too long"),
    N_("File not found"),
    N_("Timestamp could not be set"),
    N_("Error copying document summary"),
    N_("Timeout error on copying file"),
    N_("Undefined stream"),
    N_("Permissions could not be copied"),
    N_("File already exists"),
    N_("Size mismatch"),
    N_("Could not open destination file for verification"),
    N_("Could not create directory"),
    N_("Could not read from FTP"),
    N_("Could not write to FTP"),
    N_("Could not connect to FTP server"),
    N_("FTP connection was closed by server"),
    N_("Could not open FTP data connection"),
    N_("Timeout error on copying file via FTP"),
    N_("Different content"),
    N_("Error creating new zip segment"),
    N_("Illegal zip signature"),
    N_("Could not extract file"),
    N_("Unsupported file format"),
    N_("Could not rename temporary file"),
    N_("Error reading next zip segment"),
    N_("Error copying alternate data streams"),
    N_("Error deleting file"),
};

constexpr unsigned UserBreakNumber = 128;

std::string SeverityPrefix(unsigned severity)
{
    switch (severity) {
    case 1:
        return _("Error - ");
    case 2:
        return _("Warning - ");
    case 3:
        return _("Error(2) - ");
    default:
        return {};
    }
}

std::string OperationText(unsigned operation)
{
    switch (operation) {
    case 1:
        return _("Copy");
    case 2:
        return _("gzip");
    case 3:
        return _("gunzip");
    case 4:
        return _("Zip");
    case 5:
        return _("Encrypt");
    case 6:
        return _("Decrypt");
    case 7:
        return _("Unzip");
    default:
        return {};
    }
}

// Message numbers that concern the file being written.
bool ConcernsDestination(unsigned number)
{
    switch (number) {
    case 1:
    case 5:
    case 6:
    case 13:
    case 15:
    case 20:
    case 23:
    case 25:
    case 35:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string FormatFileError(unsigned ErrWord, const std::string& FileName, const std::string& SysMsg)
{
    std::string msg = SeverityPrefix(ErrorWordSeverity(ErrWord));
    unsigned number = ErrorWordNumber(ErrWord);
    if (number == 0)
        msg = _(SystemErrorText(0));
    else if (number <= MessageTexts.size())
        msg += _(MessageTexts[number - 1]);
    else if (number == UserBreakNumber)
        msg += _("Terminated by user");
    else
        msg += SafeFormat(_("Unknown error code ($%.8x)"), {ErrWord});

    std::string op = OperationText(ErrorWordOperation(ErrWord));
    if (FileName.empty())
        return op.empty() ? msg : msg + " (-> " + op + ")";
    if (op.empty()) {
        if (SysMsg.empty())
            return SafeFormat(msg + ": \"%s\"", {FileName});
        return SafeFormat(msg + ": \"%s\" (%s)", {FileName, SysMsg});
    }
    if (SysMsg.empty())
        return SafeFormat(msg + ": \"%s\" (-> %s)", {FileName, op});
    return SafeFormat(msg + ": \"%s\" (%s) (-> %s)", {FileName, SysMsg, op});
}

std::string FormatCopyError(const std::string& SourceName, const std::string& DestName, unsigned ErrWord)
{
    const std::string& name = ConcernsDestination(ErrorWordNumber(ErrWord)) ? DestName : SourceName;
    return FormatFileError(ErrWord, name, std::string());
}
