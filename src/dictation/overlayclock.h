#pragma once

// The time the dictation pill runs on: its hide delays, its fade and its animation frames. The
// system clock drives it in the application; tests move a fake one by hand. Main thread only.

#include <QObject>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

namespace velmora {

class OverlayClock {
public:
    virtual ~OverlayClock() = default;
    // Seconds since 1 January 2001, UTC.
    virtual double now() const = 0;
    // Calls back once after the delay, unless the returned handle has been dropped by then.
    virtual std::shared_ptr<void> after(std::chrono::milliseconds delay, std::function<void()> callback) = 0;
};

class SystemOverlayClock : public OverlayClock {
public:
    double now() const override;
    std::shared_ptr<void> after(std::chrono::milliseconds delay, std::function<void()> callback) override;
};

class FakeOverlayClock : public OverlayClock {
public:
    explicit FakeOverlayClock(double start = 800'000'000.0) : m_now(start) {}
    double now() const override { return m_now; }
    std::shared_ptr<void> after(std::chrono::milliseconds delay, std::function<void()> callback) override;

    // Moves time on, firing every callback that falls due on the way, in order of due time.
    void advance(std::chrono::milliseconds by);
    // Callbacks still waiting (their handles held).
    int pending() const;

private:
    struct Entry {
        double due;
        std::weak_ptr<void> handle;
        std::function<void()> callback;
    };
    double m_now;
    std::multimap<std::pair<double, quint64>, Entry> m_entries;
    quint64 m_sequence = 0;
};

} // namespace velmora
