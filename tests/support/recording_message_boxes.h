#pragma once
// Message boxes that record what they would show: the window driven without an
// operator, by the suites, the soak and the benchmarks. Never part of the program.

#include "platform/message_boxes.h"

#include <QStringList>

namespace tarvex {

// Records every message instead of showing it and answers questions No: for driving
// the window without an operator (soak runs, benchmarks).
class RecordingMessageBoxes final : public MessageBoxes {
public:
    void inform(const QString& text) override { texts.append(text); }
    bool ask(const QString&, const QString& text) override {
        texts.append(text);
        return false;
    }
    void report(const QString& text) override { texts.append(text); }
    QStringList texts;
};

} // namespace tarvex
