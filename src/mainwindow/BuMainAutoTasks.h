#pragma once
// The alternating schedule of an automatic-task slot around its runs: whether the slot is due, which
// step of the cycle a run takes, the catch-up of a missed full backup, the next step, and the next
// scheduled day.
//
// Step values of GetCycleStep: 0 = the slot has no alternating schedule; -1 = not due now;
// 1..4095 = a plain step; StepFlag + n = step n, which ApplyCycleStep writes into AktZyk.

#include <cstdint>
#include <functional>

#include "foundation/BuConsts.h"
#include "foundation/QvUtilsAutoTask.h"
#include "rtl/DateTime.h"

constexpr int StepFlag = 0x1000;

// 1 + the index of the lowest of bits 0..6 (1 = Monday … 7 = Sunday); 0 when none is set.
int FirstWeekday(uint32_t weekDays);
// The first day from date on (inclusive) or from the next day on whose weekday bit is set; the time of
// day of date is kept.
TDateTime NextScheduledDay(uint32_t weekDays, bool inclusive, TDateTime date);

// Step of slot for a run on date (a whole day) by kind; may change WeekZyk.
int GetCycleStep(TAutoTask& slot, TAutoStart kind, TDateTime date);
// Writes a flagged step into AktZyk and returns the step AdvanceCycle stores after the run.
int ApplyCycleStep(TAutoTask& slot, int step);
// The step after a run that did not fail.
void AdvanceCycle(TAutoTask& slot, int step);
// Runs the full backup of the cycle once when it was missed. run(interaction) runs the slot's task.
void RunCatchUpFullBackup(TAutoTask& slot, TInteraction interAct, TDateTime date,
                          const std::function<void(TInteraction)>& run);
