#pragma once
// The task log of a run and the error log "QvErrors.log".
//
// A task log is a UTF-8 text file with a byte-order mark, only ever appended to, lines ending in
// CR LF. The log mode word of a task: bits 0-1 level (0 off, 1 short, 2 long, 3 verbose), $04 more
// detail, $40 print the temporary copy, $80 error summary, $100 delete previous entries. A line of
// mode M is written to a file of mode A when (A and 3) >= (M and 3), or when A has $04, (A and 3) = 1
// and M has $04. Writing a line never fails a run.
//
// One TTaskLog serves every run of the program (backups and tools), one run at a time, on the run's
// thread.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "backup/EngineInterfaces.h"
#include "backup/LogSettings.h"

// The text of a log line as it is written. A line holds no control characters of its own, but the
// names it reports may (a file named "a<LF>FAKE LINE" would otherwise start a line of its own): LF, CR
// and TAB become "\n", "\r" and "\t", the other bytes below $20 and $7F "\xHH", the control characters
// U+0080 to U+009F and the separators U+2028 and U+2029 "\uHHHH". Every other byte stays as it is.
std::string EscapeLogText(std::string_view text);

class TTaskLog
{
public:
    TTaskLog(IRunHost& host, IInteraction& interaction);
    ~TTaskLog();
    TTaskLog(const TTaskLog&) = delete;
    TTaskLog& operator=(const TTaskLog&) = delete;

    // A log mode from the command line (-1 = none): the mode becomes value mod 10, and a value above
    // 10 deletes the log before the run.
    int CmdProtMode = -1;
    // "Show list of errors during backup" of the task.
    bool ShowErrors = false;
    // The log mode of the backup task (decides the printing of the temporary copy).
    int TaskProtMode = 0;
    // Caption of the error list (the task's caption).
    std::string ErrorListTitle;

    // Opens the log (and with mailLog or bit $40 the temporary copy). Returns 0 or the error code.
    uint32_t OpenLogFile(int apm, const std::string& logName, bool mailLog);
    // Reports a non-zero result of OpenLogFile: a message box with prompt, else an event-log entry.
    void CheckLogError(uint32_t errorCode, bool prompt);
    void InitLog(const std::string& action);
    void BeginLog(TDateTime dt, const std::string& desc);
    void WriteToLog(int mode, const std::string& msg);
    void WriteToLog(const std::string& msg) { WriteToLog(lmShort, msg); }
    void WriteToLog() { WriteToLog(lmShort, std::string()); }
    void WriteErrorToLog(int mode, const std::string& gMsg, const std::string& aMsg, const std::string& eMsg1,
                         const std::string& eMsg2);
    void WriteErrorToLog(const std::string& gMsg, const std::string& aMsg, const std::string& eMsg1,
                         const std::string& eMsg2)
    {
        WriteErrorToLog(lmShort, gMsg, aMsg, eMsg1, eMsg2);
    }
    void WriteErrorToLog(int mode, const std::string& gMsg, const std::string& aMsg, uint32_t errCode);
    void WriteErrorToLog(const std::string& gMsg, const std::string& aMsg, uint32_t errCode)
    {
        WriteErrorToLog(lmShort, gMsg, aMsg, errCode);
    }
    void WriteErrorToLog(int mode, const std::string& gMsg, const std::string& aMsg)
    {
        WriteErrorToLog(mode, gMsg, aMsg, std::string(), std::string());
    }
    void WriteErrorToLog(const std::string& gMsg, const std::string& aMsg)
    {
        WriteErrorToLog(lmShort, gMsg, aMsg, std::string(), std::string());
    }
    void WriteErrorSummary();
    int CurrentLogMode() const { return FActMode & 3; }
    void FlushLogFile(int mode);
    void ReleaseLogFile(int mode);
    void ReopenLogFile(int mode);
    // Closes the log; with errorLog and a failed run (exit state not 0, not portable) appends the
    // run's block to the error log.
    void CloseLogFile(bool errorLog);
    // Closes the temporary copy (the mail report does this before it attaches the copy).
    void CloseTempLog();

    void SetLogTime(bool value) { FLogTime = value; }
    bool LogTime() const { return FLogTime; }
    bool IsOpen() const { return FProt != nullptr; }
    int ActMode() const { return FActMode; }
    const std::string& LastLogFile() const { return FLastLogFile; }
    const std::string& TempLogName() const { return FTempLogName; }
    const std::string& LogHeader() const { return FLogHeader; }
    const std::string& LogBegin() const { return FLogBegin; }
    const std::vector<std::string>& ErrorList() const { return FLogErrorList; }
    // The error list window's lines ("(n) text") while the run lasts.
    const std::vector<std::string>& ErrorWindowLines() const { return FErrorWindow; }

    // Full path of a log name: empty = the default log, absolute unchanged, else in the log folder.
    std::string LogPath(const std::string& logName) const;
    // The moved-aside name of a full log on a day: "name yyyy-mm-dd.ext".
    static std::string DatedLogName(const std::string& path, TDateTime day);
    // True when a line of mode lineMode goes to a file of mode fileMode.
    static bool LineAllowed(int fileMode, int lineMode);

private:
    void WriteLine(std::FILE* f, const std::string& line, bool flush);
    IRunHost& FHost;
    IInteraction& FInteraction;
    int FActMode = 0;
    int FTempMode = 0;
    bool FErrorSummary = false;
    bool FLogTime = false;
    bool FTempProt = false;
    bool FListExists = false;
    std::string FLastLogFile;
    std::string FTempLogName;
    std::string FLogHeader;
    std::string FLogBegin;
    std::vector<std::string> FLogErrorList;
    std::vector<std::string> FErrorWindow;
    std::FILE* FProt = nullptr;
    std::FILE* FMail = nullptr;
};
