#pragma once
// The system's event log: the systemd journal (identifier "Vastrel"), syslog when there is no journal.
// An entry carries the event id and category as journal fields and its insertion strings as the message.

#include <cstdint>
#include <string>
#include <vector>

// Event types of the suite's entries.
constexpr uint16_t EVENTLOG_ERROR_TYPE = 1;
constexpr uint16_t EVENTLOG_WARNING_TYPE = 2;
constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 4;

struct TEventRecord
{
    std::string Source;
    uint16_t EventType = 0;
    uint16_t Category = 0;
    uint32_t EventId = 0;
    std::vector<std::string> Strings;
};

class EventLogSink
{
public:
    virtual ~EventLogSink() = default;
    // True when entries can be written at all.
    virtual bool Available() = 0;
    // 0 or a Windows-style code.
    virtual uint32_t Report(const TEventRecord& record) = 0;

    static EventLogSink& Current();
    // nullptr restores the real sink; the caller keeps ownership.
    static void SetCurrent(EventLogSink* sink);
};

// The journal, or syslog when the journal's socket is missing.
class SystemEventLogSink : public EventLogSink
{
public:
    std::string JournalSocket = "/run/systemd/journal/socket";
    std::string SyslogSocket = "/dev/log";
    bool Available() override;
    uint32_t Report(const TEventRecord& record) override;
};

// The message text of an entry: "<Source> event 0x<id>" and the strings, each on a line of its own.
std::string EventMessageText(const TEventRecord& record);
// The syslog priority of an event type (error 3, warning 4, information 6).
int EventPriority(uint16_t eventType);
