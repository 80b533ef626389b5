#pragma once

#include <QObject>
#include <functional>

// Turns SIGINT and SIGTERM into a call on the main thread (through a pipe, as
// nothing else is safe inside a signal handler).
class TQuitSignals : public QObject {
    Q_OBJECT
public:
    explicit TQuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TQuitSignals() override;

private:
    std::function<void()> FOnSignal;
};
