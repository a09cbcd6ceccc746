#pragma once
// Signals to child processes of a test.

#include <csignal>

#include <sys/types.h>

#include <QtGlobal>

namespace carvo::testing {

// Sends signal to the child process pid. A child that has already ended reports pid 0, and a
// signal to 0 would reach the whole process group, the test runner included: that is refused.
inline bool signalChild(qint64 pid, int signal) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0;
}

} // namespace carvo::testing
