#pragma once
// A window timer: enabled means counting, and it ticks every interval until disabled.

#include <QObject>
#include <chrono>

class QTimer;

namespace tarvex {

class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

signals:
    void tick();
};

class QtTimer final : public Timer {
    Q_OBJECT
public:
    explicit QtTimer(QObject* parent = nullptr);
    void setInterval(std::chrono::milliseconds interval) override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;

private:
    QTimer* timer_;
};

} // namespace tarvex
