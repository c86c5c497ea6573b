#pragma once
// The fixture of the task-log and run-frame tests: a recording host with its folders in the sandbox,
// program settings with small known values, a fixed machine, and an event log that records.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "platform/EventLog.h"
#include "platform/MachineInfo.h"
#include "support/Files.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace runtest {

// The lines of a log text, split at its CR LF line ends only.
inline std::vector<std::string> LogLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

class RunFrameTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        savedSettings = ProgSettings;
        savedName = ProgInternalName;
        savedVersion = ProgVersion;
        savedEventSource = EventSourceOk;
        savedUser = CurrentUser;
        CurrentUser = "tester";
        host.SettingsFolder = host.LogFolder = sandbox.Path("cfg/");
        host.TempFolder = sandbox.Path("tmp/");
        host.TaskFolder = sandbox.Path("tasks/");
        host.DefaultLog = sandbox.Path("cfg/Vastrel.log");
        ProgSettings.LogSettings.LogSize = 1000;
        ProgSettings.LogSettings.LogMode = 57;
        ProgSettings.LogSettings.MailLogPrefix = "QV";
        ProgSettings.LogSettings.DecimalSizes = false;
        ProgSettings.ViewSettings.AutoWaitTime = 5;
        ProgSettings.ViewSettings.SizeProgress = false;
        ProgInternalName = "Vastrel";
        ProgVersion = "6.0.0.0";
        EventSourceOk = true;
        MachineInfo::SetCurrent(&machine);
        EventLogSink::SetCurrent(&events);
        std::filesystem::create_directories(sandbox.Path("cfg"));
    }
    void TearDown() override
    {
        MachineInfo::SetCurrent(nullptr);
        EventLogSink::SetCurrent(nullptr);
        ProgSettings = savedSettings;
        ProgInternalName = savedName;
        ProgVersion = savedVersion;
        EventSourceOk = savedEventSource;
        CurrentUser = savedUser;
    }
    // "E 0x<id> <strings>" of every recorded event.
    std::vector<std::string> EventLines() const
    {
        std::vector<std::string> lines;
        for (const auto& r : events.Records) {
            char id[16];
            std::snprintf(id, sizeof id, "0x%.8X", r.EventId);
            std::string line = std::string(r.EventType == EVENTLOG_ERROR_TYPE ? "E " : "I ") + id;
            for (const auto& s : r.Strings)
                line += " " + s;
            lines.push_back(line);
        }
        return lines;
    }
    TRecordingHost host;
    TRecordingInteraction interaction;
    TTaskLog log{host, interaction};
    FakeMachineInfo machine;
    RecordingEventLogSink events;

private:
    TQvSettings savedSettings;
    std::string savedName, savedVersion, savedUser;
    bool savedEventSource = false;
};

} // namespace runtest
