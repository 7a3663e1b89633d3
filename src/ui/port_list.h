#pragma once
// The port list: an editable combo box that says when it is about to open, and is
// announced to screen readers by a name of its own with its entry as the value.

#include <QComboBox>

namespace tarvex {

class PortList final : public QComboBox {
    Q_OBJECT
public:
    explicit PortList(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    // Before the entries are shown, so they can be described as things are now.
    void dropDown();
};

} // namespace tarvex
