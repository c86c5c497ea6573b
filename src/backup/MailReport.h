#pragma once
// The mail report of a run: a short text of the run's main lines, collected while the run lasts, and
// sent at its end through the program's mail sender when the task asks for it, optionally with the
// task log attached plain, zipped, or zipped with a password, and with further files.

#include <string>

#include "archive/mMailer10.h"
#include "backup/BuMailDlg.h"
#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "rtl/DateTime.h"

class TMailReport
{
public:
    TMailReport(TTaskLog& log, IInteraction& interaction) : FLog(log), FInteraction(interaction) {}

    // Starts a report (nothing when mm is mmNone): the program line and the start line.
    void InitMail(TMailMode mm, TDateTime dt, const std::string& action, const std::string& text);
    // Appends a line (nothing when mm is mmNone).
    void AddToMail(TMailMode mm, const std::string& text);
    // Sends the report when due: mm mmAlways, or mmError with error. aTime and eTime are the run's start
    // and end, task the task file, subj the text of the standard subject, text a last line of the body,
    // status the status text. A failure is logged and never changes the run's result; true when sent.
    bool SendMail(TMailMode mm, const TMailData& data, TDateTime aTime, TDateTime eTime,
                  const std::string& task, const std::string& subj, const std::string& text,
                  const std::string& status, bool error, TInteraction iaMode);

    // The subject with its placeholders replaced.
    static std::string ExpandSubject(const std::string& subject, const std::string& task, TDateTime aTime,
                                     TDateTime eTime, const std::string& status);
    // The recipients of a report: entries marked "*" are off, those marked "#" get it only after errors,
    // "%username%" is the user's name.
    static std::string ReportRecipients(const std::string& recipients, bool error);

    TmMailer Mailer;
    // Folder of the protocol log "QvSmtp.log"; written only when on.
    std::string LogDir;
    bool WriteProtocol = false;
    std::string TempDir;

private:
    TTaskLog& FLog;
    IInteraction& FInteraction;
};
