#pragma once
// Helpers of the GUI tests: finding widgets by object name and acting on modal windows once they show.

#include <QApplication>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "support/WaitFor.h" // in the GUI test programs WaitFor keeps the event loop running

// The child of parent with that object name and type (nullptr when there is none).
template <typename T> T* Find(QWidget* parent, const char* name)
{
    return parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// Calls action with the active modal widget as soon as one shows (polled by a timer; after about
// ten seconds without one, action gets nullptr). Call before the blocking exec().
void WhenModal(std::function<void(QWidget*)> action);
// The same for the active modal widget that is not `exclude` (a second dialog over a first).
void WhenModalOtherThan(QWidget* exclude, std::function<void(QWidget*)> action);
// Processes the events that are pending now and those they post at once, without waiting for timers.
void ProcessPendingEvents();
