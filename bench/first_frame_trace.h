#pragma once
// The reference windows' side of TARVEX_TRACE_STARTUP=1: the monotonic time of
// their first frame on stderr, in the form Tarvex prints its own.

#include <QtGlobal>
#include <cstdio>
#include <ctime>

namespace tarvex::bench {

class FirstFrameTrace {
public:
    // Called from paintEvent(): prints once, and only when the trace is asked for.
    void painted() {
        if (traced_ || !qEnvironmentVariableIsSet("TARVEX_TRACE_STARTUP"))
            return;
        traced_ = true;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "tarvex-startup window %lld\n",
                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fflush(stderr);
    }

private:
    bool traced_ = false;
};

} // namespace tarvex::bench
