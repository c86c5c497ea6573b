#include "platform/EventLog.h"

#include <syslog.h>

#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

TEST(EventLogTest, MessagesCarryTheIdAndTheInsertionStrings)
{
    TEventRecord r{"Vastrel", EVENTLOG_ERROR_TYPE, 1, 0xC000000E, {"/home/u/daily.buj"}};
    EXPECT_EQ(EventMessageText(r), "Vastrel event 0xC000000E\n/home/u/daily.buj");
    r.Strings.clear();
    r.EventId = 0x4000000B;
    EXPECT_EQ(EventMessageText(r), "Vastrel event 0x4000000B");
    EXPECT_EQ(EventPriority(EVENTLOG_ERROR_TYPE), LOG_ERR);
    EXPECT_EQ(EventPriority(EVENTLOG_WARNING_TYPE), LOG_WARNING);
    EXPECT_EQ(EventPriority(EVENTLOG_INFORMATION_TYPE), LOG_INFO);
}

TEST(EventLogTest, TheRecordingSinkStandsInForTheSystemLog)
{
    RecordingEventLogSink sink;
    EventLogSink::SetCurrent(&sink);
    EXPECT_EQ(
        EventLogSink::Current().Report({"Vastrel", EVENTLOG_INFORMATION_TYPE, 1, 0x4000000A, {"a.buj"}}), 0u);
    EventLogSink::SetCurrent(nullptr);
    ASSERT_EQ(sink.Records.size(), 1u);
    EXPECT_EQ(sink.Records[0].EventId, 0x4000000Au);
}

TEST(EventLogTest, TheSystemSinkIsUnavailableWithoutJournalAndSyslog)
{
    SystemEventLogSink sink;
    sink.JournalSocket = "/nonexistent/journal";
    sink.SyslogSocket = "/nonexistent/log";
    EXPECT_FALSE(sink.Available());
}
