#include "support/ThreadState.h"

#include <fstream>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

pid_t CurrentThreadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool ThreadIsBlocked(pid_t tid)
{
    if (tid <= 0)
        return false;
    // "<number> <arguments…>" while in a system call, "running" or "-1 …" otherwise
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    if (!(in >> number))
        return false;
    switch (number) {
    case SYS_futex:
    case SYS_nanosleep:
    case SYS_clock_nanosleep:
    case SYS_poll:
    case SYS_ppoll:
    case SYS_select:
    case SYS_pselect6:
    case SYS_epoll_wait:
    case SYS_epoll_pwait:
        return true;
    default:
        return false;
    }
}
