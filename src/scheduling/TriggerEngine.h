#pragma once
// When a trigger starts its task: the next start of a time trigger (one time, daily, weekly, monthly,
// monthly on weekdays, with repetition and end boundary) after a given moment. Times are local wall-clock
// times; a trigger whose start text carries a zone suffix counts in UTC and its results are converted
// to local time. A wall-clock time that a daylight-saving change skips is reached at the instant it maps
// to (LocalToUtc), one that the change repeats once.

#include "rtl/DateTime.h"
#include "scheduling/WinTask.h"

// The first start of the trigger strictly after `after` (local time), or 0 when there is none (a
// trigger that is not a time trigger, is disabled, has expired or can never fire).
TDateTime NextTriggerTime(const TTriggerData& trigger, TDateTime after);
// The earliest NextTriggerTime of the enabled triggers of a definition (0 when none).
TDateTime NextTaskRunTime(const TTaskDefinition& def, TDateTime after);
// True for the kinds that NextTriggerTime plans (one time, daily, weekly, monthly, monthly day of week).
bool IsTimeTrigger(const TTriggerData& trigger);
