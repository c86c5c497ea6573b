#pragma once
// The scheduler daemon vastrel-schedd: it watches the task store of its user, starts each task's program
// when a trigger is due, records the outcome in the task's state file, and answers run, stop, refresh and
// status requests on its socket. One daemon runs per task store: a second one exits with a message.
//
// What it honours of a definition: the enabled flags of task and triggers; time triggers (one time,
// daily, weekly, monthly, monthly on weekdays, repetition, random delay, end boundary) in local time;
// logon triggers at its start in a user session; boot triggers on the first start after a system start;
// wake-up triggers (the wizard's wake-up event query) through logind where the system bus answers, else
// they are reported as not available; idle and other event triggers are reported and never fire. Settings:
// start when available (a missed run is made up once), the time limits of task and trigger, the
// multiple-instances policy, restart on failure, deletion of expired tasks, start only on mains power, stop
// on battery, start only with a network, start only when idle, start on demand.

// The daemon's main: options "--detach" (fork into the background; a start by the suite, so no logon
// triggers fire) and "--foreground" (the default). Returns the process exit code.
int SchedDaemonMain(int argc, char** argv);
