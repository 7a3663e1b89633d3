#pragma once
// The reference windows' side of TARVEX_TRACE_STARTUP=1: the monotonic time of
// their first frame on stderr, in the form Tarvex prints its own.

#include <QWidget>
#include <cstdio>
#include <ctime>

namespace tarvex::bench {

class TracedWindow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
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
