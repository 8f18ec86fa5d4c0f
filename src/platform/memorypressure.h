#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace velmora {

// Tells when the system runs short of memory, so idle models can be unloaded.
class MemoryPressureSource : public QObject {
    Q_OBJECT
public:
    enum class Level { Warning, Critical };

    using QObject::QObject;
    // Begins watching; events arrive on the main thread.
    virtual void start() = 0;

signals:
    void pressure(velmora::MemoryPressureSource::Level level);
};

// The kernel's pressure stall information for memory. Where the kernel lets this process
// register a trigger on the file, the kernel wakes us; otherwise the file is read every poll
// interval and a stall of at least the threshold within it counts as pressure: "some" stall is
// a warning, "full" stall (every task stalled) is critical. Without the file nothing is watched.
class PsiMemoryPressure : public MemoryPressureSource {
    Q_OBJECT
public:
    enum class Mode { Off, Trigger, Poll };

    struct Options {
        QString path = QStringLiteral("/proc/pressure/memory");
        // Stall time within the window that counts as pressure (7.5 %).
        std::chrono::microseconds stall{150'000};
        // The trigger window: a multiple of 2 s, which unprivileged processes may use.
        std::chrono::microseconds window{2'000'000};
        std::chrono::milliseconds pollInterval{2000};
        bool useTrigger = true;
    };

    PsiMemoryPressure();
    explicit PsiMemoryPressure(Options options, QObject *parent = nullptr);
    ~PsiMemoryPressure() override;

    void start() override;
    Mode mode() const { return m_mode; }

    struct Totals {
        qint64 some = 0; // microseconds
        std::optional<qint64> full;
    };
    // The "total=" stall counters of a pressure file; none when the text is not one.
    static std::optional<Totals> parse(const QByteArray &text);

private:
    bool startTrigger();
    void startPoll();
    void poll();
    void triggerFired();
    void stop(const char *why);

    Options m_options;
    Mode m_mode = Mode::Off;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    std::optional<Totals> m_last;
};

// Raised by tests.
class FakeMemoryPressure : public MemoryPressureSource {
    Q_OBJECT
public:
    using MemoryPressureSource::MemoryPressureSource;
    void start() override { started = true; }
    void raise(Level level = Level::Warning) { emit pressure(level); }
    bool started = false;
};

} // namespace velmora
