#pragma once

#include <QtGlobal>

namespace tarvex {

// A two-state flag held as a 16-bit value: -1 for true, 0 for false, nothing else.
class StateFlag {
public:
    StateFlag& operator=(bool on) {
        bits_ = on ? qint16(-1) : qint16(0);
        return *this;
    }
    explicit operator bool() const { return bits_ != 0; }

private:
    qint16 bits_ = 0;
};

} // namespace tarvex
