#pragma once

#include <csignal>

// Puts every signal back to its default action, in a child between fork and exec (or in a
// child that never execs). Only sigaction, which is async-signal-safe.
inline void restoreDefaultSignals()
{
    struct sigaction defaults
    {
    };
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP)
            ::sigaction(signal, &defaults, nullptr);
    }
}
