#pragma once
// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, a system monitor, Ctrl+C) brought
// into the event loop: the handler only writes the signal's number into a pipe, and
// the loop runs the program's end from there.
#include <QObject>

#include <functional>

class QSocketNotifier;

namespace tessaly {

class EndSignals : public QObject {
    Q_OBJECT
public:
    // One at a time: a second one takes the signals over.
    EndSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    ~EndSignals() override;

    // The signal's own end, as if it had never been caught: the parent sees the process
    // killed by it.
    [[noreturn]] static void endBy(int signal);

private:
    void readPipe();
    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
};

}  // namespace tessaly
