#include "platform/EventLog.h"

#include <cstdio>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"

namespace {

EventLogSink* gSink = nullptr;

std::string Hex8(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

} // namespace

EventLogSink& EventLogSink::Current()
{
    static SystemEventLogSink real;
    return gSink ? *gSink : real;
}

void EventLogSink::SetCurrent(EventLogSink* sink)
{
    gSink = sink;
}

std::string EventMessageText(const TEventRecord& record)
{
    std::string text = record.Source + " event 0x" + Hex8(record.EventId);
    for (const auto& s : record.Strings)
        text += "\n" + s;
    return text;
}

int EventPriority(uint16_t eventType)
{
    switch (eventType) {
    case EVENTLOG_ERROR_TYPE:
        return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
        return LOG_WARNING;
    default:
        return LOG_INFO;
    }
}

bool SystemEventLogSink::Available()
{
    return ::access(JournalSocket.c_str(), W_OK) == 0 || ::access(SyslogSocket.c_str(), W_OK) == 0;
}

uint32_t SystemEventLogSink::Report(const TEventRecord& record)
{
    std::string message = EventMessageText(record);
    int priority = EventPriority(record.EventType);
    if (::access(JournalSocket.c_str(), W_OK) == 0) {
        int rc =
            sd_journal_send("MESSAGE=%s", message.c_str(), "PRIORITY=%d", priority, "SYSLOG_IDENTIFIER=%s",
                            record.Source.c_str(), "VASTREL_EVENT_ID=0x%s", Hex8(record.EventId).c_str(),
                            "VASTREL_CATEGORY=%u", static_cast<unsigned>(record.Category), nullptr);
        if (rc >= 0)
            return 0;
        // Fall through to syslog when the journal refused.
    }
    static std::string ident; // openlog keeps the pointer
    ident = record.Source;
    ::openlog(ident.c_str(), LOG_PID, LOG_USER);
    std::string oneLine = message;
    for (char& c : oneLine)
        if (c == '\n')
            c = ' ';
    ::syslog(priority, "%s", oneLine.c_str());
    ::closelog();
    return 0;
}
