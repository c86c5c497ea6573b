#pragma once
// The time window of a backup run: which files pass by their modification or creation time.

#include "rtl/DateTime.h"

enum TTimeMode
{
    tmAll,
    tmNewer,
    tmOlder,
    tmSpan,
    tmToday,
    tmLastDays,
    tmPrevDays,
    tmUpdate,
    tmOff,
    tmError,
    tmPrompt
};

enum TTimeRef
{
    trModify,
    trCreate,
    trBoth
};

struct TTimePeriod
{
    TTimeMode Mode = tmAll;
    TTimeRef TmRef = trModify;
    int Days = 1;
    TDateTime DayTime = 0;
    TDateTime Dat1 = 0;
    TDateTime Dat2 = 0;
};
