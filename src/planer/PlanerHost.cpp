#include "planer/PlanerHost.h"

#include <cstdio>

#include "foundation/WinExecute.h"
#include "platform/ErrorCodes.h"
#include "platform/EventLog.h"

namespace {

void PrintLines(const std::string& text)
{
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r')
            lines += text[i];
    std::fprintf(stderr, "QvPlaner: %s\n", lines.c_str());
}

} // namespace

void TPlanerBatchHost::ErrorBox(const std::string& text)
{
    PrintLines(text);
}

void TPlanerBatchHost::InfoBox(const std::string& text, int)
{
    PrintLines(text);
}

bool TPlanerBatchHost::Confirm(const std::string& text)
{
    PrintLines(text);
    return false;
}

void TPlanerBatchHost::ReportEvent(uint32_t id, uint16_t type, const std::vector<std::string>& strings)
{
    EventLogSink& sink = EventLogSink::Current();
    if (!sink.Available())
        return;
    TEventRecord record;
    record.Source = "Vastrel";
    record.EventType = type;
    record.Category = 2;
    record.EventId = id;
    record.Strings = strings;
    sink.Report(record);
}

uint32_t TPlanerBatchHost::RunMainProgram(const std::string& exe, const std::string& params, bool wait)
{
    return StartMainProgram(exe, params, wait);
}

uint32_t StartMainProgram(const std::string& exe, const std::string& params, bool wait)
{
    std::vector<std::string> argv = CommandLineToArgv(params);
    argv.insert(argv.begin(), exe);
    TProcessHandle handle = -1;
    try {
        handle = StartProcess(argv, std::string());
    } catch (const EProcessError& e) {
        return e.ErrorCode != 0 ? e.ErrorCode : WinError::ERROR_FILE_NOT_FOUND;
    }
    if (!wait) {
        // The day's run goes on by itself; its end is collected without anyone waiting for it.
        return 0;
    }
    const uint32_t result = WaitForProcess(handle, 0, true);
    if ((result & ApplicationExitFlag) != 0)
        return RunExitCodeFlag | (result & 0xFFFF);
    return result;
}
