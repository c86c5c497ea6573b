#pragma once
// Waiting for a condition instead of sleeping for a fixed time.
//
//   ASSERT_TRUE(WaitFor([&] { return worker.Finished(); })) << "the worker did not finish";
//
// A test that checks that something did NOT happen waits for an event that proves the code got past the
// point where it would have happened (a later log line, a counter, a state change), then checks.

#include <chrono>
#include <functional>

// Calls predicate until it returns true (then true) or limit has passed (then false). Between the calls
// it runs the idle step: by default a sleep of a millisecond; the GUI test programs install one that
// also processes the event loop when called on the main thread.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds limit = std::chrono::seconds(10));

// Replaces the idle step of WaitFor (nullptr restores the sleep).
void SetWaitForIdle(std::function<void()> idle);
