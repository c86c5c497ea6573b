#pragma once
// The planner's surroundings with a display: the program's message boxes (the information box closes
// by itself), the event log of the batch host, and the main program started while the window keeps
// answering.

#include <string>
#include <vector>

#include "planer/PlanerHost.h"

class TPlanerGuiHost : public TPlanerBatchHost
{
public:
    void ErrorBox(const std::string& text) override;
    void InfoBox(const std::string& text, int waitSeconds) override;
    bool Confirm(const std::string& text) override;
    // Waits in a local event loop, so the window is redrawn while the main program runs.
    uint32_t RunMainProgram(const std::string& exe, const std::string& params, bool wait) override;
};

// The interactive start: the named schedule runs with message boxes, or (no schedule named, or not
// found) the window opens. form is set up from the command line; the program's exit code is 0.
int RunPlanerWindow(int& argc, char** argv, THauptForm& form, TPlanerGuiHost& host);
