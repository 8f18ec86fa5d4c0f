#pragma once

#include <QObject>

class QSocketNotifier;

namespace velmora {

// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the main thread, so that a log-out, a
// kill or Ctrl+C runs the same orderly quit as the Quit command instead of ending the process
// with unsaved work.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers: call it first in main(), before anything can take long. Signals
    // that arrive before a TerminationSignals object exists wait for it.
    static void install();

    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();
    QSocketNotifier *m_notifier;
};

} // namespace velmora
