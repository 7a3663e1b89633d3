// The least a Qt Widgets program can do: show one window. The start-up and
// footprint figures of Tarvex are set against it. With TARVEX_TRACE_STARTUP=1 it
// prints the monotonic time of its first frame on stderr, as Tarvex does.

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <ctime>

namespace {

class Window final : public QWidget {
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

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window window;
    window.resize(295, 149);
    window.show();
    return QApplication::exec();
}
