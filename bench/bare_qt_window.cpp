// The least a Qt Widgets program can do: show one window. The start-up and
// footprint figures of Tarvex are set against it. With TARVEX_TRACE_STARTUP=1 it
// prints the monotonic time of its first frame on stderr, as Tarvex does.

#include "first_frame_trace.h"

#include <QApplication>
#include <QWidget>

namespace {

class Window final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { trace_.painted(); }

private:
    tarvex::bench::FirstFrameTrace trace_;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window window;
    window.resize(295, 149);
    window.show();
    return QApplication::exec();
}
