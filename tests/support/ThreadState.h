#pragma once
// What the kernel says a thread of this process is doing, for tests that check that something did NOT
// happen: they first wait until the thread in question is blocked (in a wait or a sleep), which proves
// it got to the point where it waits, and only then check.
//
//   std::atomic<pid_t> tid{0};
//   std::thread t([&] { tid = CurrentThreadId(); ...; });
//   ASSERT_TRUE(WaitFor([&] { return ThreadIsBlocked(tid); }));

#include <sys/types.h>

// The kernel's id of the calling thread.
pid_t CurrentThreadId();

// True when the thread (an id of this process; 0 gives false) sits in a blocking system call: a futex
// wait (mutex, condition variable, TEvent), a sleep, or a poll for a socket or pipe.
bool ThreadIsBlocked(pid_t tid);
