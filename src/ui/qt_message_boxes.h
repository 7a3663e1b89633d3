#pragma once
// The message boxes as Qt's modal QMessageBox, each over the window it belongs to.

#include "platform/message_boxes.h"

namespace tarvex {

class QtMessageBoxes final : public MessageBoxes {
public:
    void inform(const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    void report(const QString& text) override;
};

} // namespace tarvex
