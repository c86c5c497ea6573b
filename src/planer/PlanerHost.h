#pragma once
// The planner's surroundings without a window: messages on standard error, entries in the system's
// event log, and the main program started as a process of its own.

#include "planer/QvPlanerMain.h"

class TPlanerBatchHost : public IPlanerHost
{
public:
    void ErrorBox(const std::string& text) override;
    void InfoBox(const std::string& text, int waitSeconds) override;
    // Nobody can answer: no.
    bool Confirm(const std::string& text) override;
    void ReportEvent(uint32_t id, uint16_t type, const std::vector<std::string>& strings) override;
    uint32_t RunMainProgram(const std::string& exe, const std::string& params, bool wait) override;
};

// Starts "<exe> <params>" (params split as a command line: blanks separate, double quotes group) and,
// with wait, waits for it; the result as IPlanerHost::RunMainProgram gives it.
uint32_t StartMainProgram(const std::string& exe, const std::string& params, bool wait);
