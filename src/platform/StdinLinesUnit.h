#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

// Reads standard input without blocking the event loop and hands over each
// complete line (trimmed, UTF-8). End of input stops reading quietly.
class TStdinLines : public QObject {
    Q_OBJECT
public:
    explicit TStdinLines(std::function<void(const QString&)> onLine, QObject* parent = nullptr);
    ~TStdinLines() override;

private:
    void ReadAvailable();

    std::function<void(const QString&)> FOnLine;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QByteArray FPending;
};
