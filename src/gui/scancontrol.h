// Helpers of the main window's scan control: the auto-scan countdown, a timer
// that keeps running undisturbed when it is started again or given the period
// it already has and that never expires with a period of 0 or less; and the
// writing of a status line.
// Tests: tests/shell/scancontrol_test.cpp.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;

namespace ormix {

// Writes one of the main window's status lines, setting a line that is wider
// than its label in a smaller size (down to three quarters) so it stays whole.
void SetStatusText(QLabel* label, const QString& text);

class CountdownTimer : public QObject {
    Q_OBJECT
public:
    explicit CountdownTimer(QObject* parent = nullptr);

    // A running countdown starts over only when the period changes.
    void setInterval(int ms);
    // Nothing happens when it already runs.
    void start();
    void stop();

    int interval() const { return interval_; }
    bool isRunning() const { return running_; }
    // Milliseconds until expiry; -1 when it is stopped or never expires.
    int remainingTime() const;

signals:
    void timeout();

private:
    void arm();

    QTimer timer_;
    int interval_ = 1000;
    bool running_ = false;
};

} // namespace ormix
