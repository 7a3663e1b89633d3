#pragma once
// QtTest for the real-time suites, whose QTRY_* waits are the point of them.

#include <QTest>

// Qt 6.8's QTRY_* macros narrow their own millisecond count to int inside the
// expansion, which -Wconversion then reports at every use in the including file.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#pragma GCC diagnostic ignored "-Wconversion"
#endif
