// The least a Qt Widgets program can do: show one window. The start-up and
// footprint figures of Tarvex are set against it. With TARVEX_TRACE_STARTUP=1 it
// prints the monotonic time of its first frame on stderr, as Tarvex does.

#include "traced_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tarvex::bench::TracedWindow window;
    window.resize(295, 149);
    window.show();
    return QApplication::exec();
}
