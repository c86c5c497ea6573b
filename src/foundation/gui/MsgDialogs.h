#pragma once
// A message dialog that stays on top and can close itself after a time.

#include <QPoint>
#include <cstdint>
#include <string>

#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/ShowMessageDlg.h"

// A set of TMsgDlgBtn (bit = 1 << button).
using TMsgDlgButtons = uint32_t;
constexpr TMsgDlgButtons MsgDlgButton(TMsgDlgBtn b)
{
    return 1u << b;
}

// Timeout <= 0: modal; otherwise at most Timeout seconds, then closed with the result 1 (OK).
// A negative coordinate of APos centres the dialog on the screen.
TModalResult TimedMessageDlgEx(const std::string& ATitle, const std::string& AMsg, TMsgDlgType DlgType,
                               TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QPoint& APos,
                               int Timeout, TDefaultMonitor AMonitor);
// The default button is OK when present, else Yes, else Retry.
TModalResult TimedMessageDlg(const std::string& ATitle, const std::string& AMsg, TMsgDlgType DlgType,
                             TMsgDlgButtons Buttons, const QPoint& APos, int Timeout,
                             TDefaultMonitor AMonitor);
TModalResult ErrorDlgOnTopAt(const QPoint& APos, const std::string& ATitle, const std::string& AMsg,
                             TDefaultMonitor AMonitor);
TModalResult ErrorDlgOnTop(const std::string& ATitle, const std::string& AMsg, TDefaultMonitor AMonitor);
