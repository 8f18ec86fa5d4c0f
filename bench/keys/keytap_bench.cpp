// A bare Right Ctrl tap typed through XTest, to the toggle reported on the main thread, while a
// burst of 1,000 ordinary keys is typed around it (three bursts); beside it, the same keys seen
// by a plain XInput 2 raw-event reader on a connection of its own, and the moment the tap's own
// thread has the release. Once with the secure-input check the product makes before it reports a
// tap (a keyboard grab round trip, timed on its own), once without it. Then the CPU of the tap's thread, and of the
// reader's, while nothing is typed (default 10 s; the first argument sets the seconds). Run on an
// X display (DISPLAY), e.g. Xvfb.

#include "dictation/hotkeyeventtap.h"
#include "platform/keychord.h"
#include "platform/keyeventtap.h"
#include "platform/secureinput.h"
#include "platform/virtualkeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

// Xlib's macros clash with Qt's names: its headers come last.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTypedKeys = 1000;
constexpr int kKeysPerTap = 20;
constexpr int kBursts = 3;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::set<long> threadIds() {
    std::set<long> ids;
    for (const QString &name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(name.toLong());
    return ids;
}

// Time the thread spent on a CPU, in ms: the scheduler's nanosecond count where there is one,
// else user + system ticks.
double threadCpuMs(long tid) {
    const std::string dir = "/proc/self/task/" + std::to_string(tid);
    std::ifstream schedstat(dir + "/schedstat");
    unsigned long long runNs = 0;
    if (schedstat >> runNs)
        return static_cast<double>(runNs) / 1e6;
    std::ifstream stat(dir + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    std::string field;
    for (char c : line.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    // utime and stime are the 14th and 15th fields, 12th and 13th after the name.
    if (fields.size() < 13)
        return -1;
    return (std::stod(fields[11]) + std::stod(fields[12])) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The reference: XInput 2 raw key releases on the root window, read by a thread that blocks
// until the connection or its stop signal is readable.
class RawReader {
public:
    explicit RawReader(const char *displayName) {
        m_display = XOpenDisplay(displayName);
        if (!m_display)
            return;
        int opcode = 0, event = 0, error = 0;
        int major = 2, minor = 2;
        if (!XQueryExtension(m_display, "XInputExtension", &opcode, &event, &error) ||
            XIQueryVersion(m_display, &major, &minor) != Success) {
            XCloseDisplay(m_display);
            m_display = nullptr;
            return;
        }
        m_opcode = opcode;
        m_rightCtrl = XKeysymToKeycode(m_display, XK_Control_R);
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
        XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
        XSync(m_display, False);
        m_stop = eventfd(0, EFD_CLOEXEC);
        m_thread = std::thread([this] { run(); });
    }
    ~RawReader() {
        if (!m_display)
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(m_stop, &one, sizeof(one));
        m_thread.join();
        close(m_stop);
        XCloseDisplay(m_display);
    }
    explicit operator bool() const { return m_display != nullptr; }
    long threadId() const { return m_tid.load(); }
    std::vector<Clock::time_point> seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_seen.clear();
    }

private:
    void run() {
        m_tid = gettid();
        pollfd fds[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {m_stop, POLLIN, 0}};
        for (;;) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                const auto now = Clock::now();
                XGenericEventCookie *cookie = &event.xcookie;
                if (cookie->type != GenericEvent || cookie->extension != m_opcode || !XGetEventData(m_display, cookie))
                    continue;
                if (cookie->evtype == XI_RawKeyRelease &&
                    static_cast<XIRawEvent *>(cookie->data)->detail == static_cast<int>(m_rightCtrl)) {
                    std::lock_guard lock(m_mutex);
                    m_seen.push_back(now);
                }
                XFreeEventData(m_display, cookie);
            }
            fds[0].revents = fds[1].revents = 0;
            if (poll(fds, 2, -1) < 0 || fds[1].revents)
                return;
        }
    }

    Display *m_display = nullptr;
    int m_opcode = 0;
    KeyCode m_rightCtrl = 0;
    int m_stop = -1;
    std::atomic<long> m_tid = 0;
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_seen;
    std::thread m_thread;
};

// Another program typing through XTest.
class Typist {
public:
    explicit Typist(const char *displayName) : m_display(XOpenDisplay(displayName)) {
        if (!m_display)
            return;
        m_rightCtrl = XKeysymToKeycode(m_display, XK_Control_R);
        for (KeySym symbol = XK_a; symbol <= XK_z; ++symbol)
            m_letters.push_back(XKeysymToKeycode(m_display, symbol));
    }
    ~Typist() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    explicit operator bool() const { return m_display != nullptr; }
    // Time spent sending bursts, since the last call.
    double takeTypingMs() { return std::exchange(m_typingMs, 0.0); }

    // The release that ends the tap is what both readers react to: its send time is returned.
    Clock::time_point tapRightCtrl() {
        XTestFakeKeyEvent(m_display, m_rightCtrl, True, CurrentTime);
        XFlush(m_display);
        const auto sent = Clock::now();
        XTestFakeKeyEvent(m_display, m_rightCtrl, False, CurrentTime);
        XFlush(m_display);
        return sent;
    }
    // Ordinary keys with a Right Ctrl tap after every kKeysPerTap of them; the tap send times.
    std::vector<Clock::time_point> burst() {
        const auto start = Clock::now();
        std::vector<Clock::time_point> sent;
        for (int i = 0; i < kTypedKeys; ++i) {
            const unsigned code = m_letters[static_cast<std::size_t>(i) % m_letters.size()];
            XTestFakeKeyEvent(m_display, code, True, CurrentTime);
            XTestFakeKeyEvent(m_display, code, False, CurrentTime);
            XFlush(m_display);
            if ((i + 1) % kKeysPerTap == 0)
                sent.push_back(tapRightCtrl());
        }
        XSync(m_display, False);
        m_typingMs += ms(Clock::now() - start);
        return sent;
    }

private:
    Display *m_display;
    KeyCode m_rightCtrl = 0;
    std::vector<KeyCode> m_letters;
    double m_typingMs = 0;
};

// The real taps, noting when the tap's thread has a release of the fn key before the handler.
class TimedTaps : public KeyEventTaps {
public:
    explicit TimedTaps(KeyEventTaps &inner) : m_inner(inner) {}
    std::unique_ptr<KeyEventTap> create(Kind kind, KeyTapHandler &handler) override {
        auto tap = std::make_unique<Tap>();
        tap->timing = std::make_unique<Timing>(handler, *this);
        tap->inner = m_inner.create(kind, *tap->timing);
        if (!tap->inner)
            return nullptr;
        return tap;
    }
    std::optional<bool> fnKeyHasAction() override { return m_inner.fnKeyHasAction(); }

    std::vector<Clock::time_point> releases() const {
        std::lock_guard lock(m_mutex);
        return m_releases;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_releases.clear();
    }

private:
    struct Timing : KeyTapHandler {
        Timing(KeyTapHandler &next, TimedTaps &owner) : next(next), owner(owner) {}
        bool handleKeyTapEvent(const KeyTapEvent &event) override {
            if (event.type == KeyTapEvent::Type::FlagsChanged && event.keyCode == VirtualKeys::kFunction &&
                !(event.flags & KeyChord::kFunctionFlag)) {
                const auto now = Clock::now();
                std::lock_guard lock(owner.m_mutex);
                owner.m_releases.push_back(now);
            }
            return next.handleKeyTapEvent(event);
        }
        KeyTapHandler &next;
        TimedTaps &owner;
    };
    struct Tap : KeyEventTap {
        // Declared last, the running tap ends before its handler goes.
        std::unique_ptr<Timing> timing;
        std::unique_ptr<KeyEventTap> inner;
    };

    KeyEventTaps &m_inner;
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_releases;
};

// Times every secure-input check.
class TimedSecureInput : public SecureInput {
public:
    explicit TimedSecureInput(SecureInput &inner) : m_inner(inner) {}
    bool isEnabled() override {
        const auto start = Clock::now();
        const bool enabled = m_inner.isEnabled();
        const double took = ms(Clock::now() - start);
        std::lock_guard lock(m_mutex);
        m_took.push_back(took);
        return enabled;
    }
    std::vector<double> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_took, {});
    }

private:
    SecureInput &m_inner;
    std::mutex m_mutex;
    std::vector<double> m_took;
};

bool runUntil(const std::function<bool()> &done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct Stats {
    double median = 0, p95 = 0, worst = 0;
};

Stats statsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {};
    const auto at = [&](double q) {
        return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
    };
    return {at(0.5), at(0.95), values.back()};
}

struct Run {
    // Declared last, the tap ends before the taps it came from.
    std::unique_ptr<TimedTaps> timed;
    std::unique_ptr<HotkeyEventTap> tap;
    std::vector<long> threads;
};

// Starts a fn tap, waits until it reports, then times the bursts; none when that failed.
std::optional<Run> measure(const char *label, KeyEventTaps &x11Taps, TimedSecureInput &secureInput, RawReader &reader,
                           Typist &typist, QObject &context) {
    Run run;
    run.timed = std::make_unique<TimedTaps>(x11Taps);
    TimedTaps *timed = run.timed.get();
    auto toggles = std::make_shared<std::vector<Clock::time_point>>();
    auto otherEvents = std::make_shared<int>(0);
    const auto before = threadIds();
    run.tap = HotkeyEventTap::create(HotkeyEventTap::Kind::Globe, *timed, secureInput, &context,
                                     [toggles, otherEvents](HotkeyEventTap::Event event) {
                                         if (event.type == HotkeyEventTap::Event::Type::Toggle)
                                             toggles->push_back(Clock::now());
                                         else
                                             ++*otherEvents;
                                     });
    if (!run.tap) {
        std::fprintf(stderr, "keytap bench: the display refused the key tap\n");
        return std::nullopt;
    }
    for (long tid : threadIds())
        if (!before.contains(tid))
            run.threads.push_back(tid);

    // The tap selects its events on its own thread: tap until one reaches the main thread.
    bool ready = false;
    for (int attempt = 0; attempt < 50 && !ready; ++attempt) {
        typist.tapRightCtrl();
        ready = runUntil([&] { return !toggles->empty(); }, 200);
    }
    if (!ready) {
        std::fprintf(stderr, "keytap bench: no toggle arrived from the tap\n");
        return std::nullopt;
    }
    // Whatever the warm-up left in flight arrives before the counts start.
    runUntil([] { return false; }, 100);

    std::vector<double> toggleLatency, tapThreadLatency, rawLatency;
    secureInput.take();
    for (int round = 0; round < kBursts; ++round) {
        toggles->clear();
        timed->clear();
        reader.clear();
        std::vector<Clock::time_point> sent;
        std::atomic<bool> typed = false;
        std::thread sender([&] {
            sent = typist.burst();
            typed = true;
        });
        const std::size_t expected = kTypedKeys / kKeysPerTap;
        runUntil(
            [&] {
                return typed && toggles->size() >= expected && timed->releases().size() >= expected &&
                       reader.seen().size() >= expected;
            },
            20000);
        sender.join();
        const auto seen = reader.seen();
        const auto released = timed->releases();
        if (toggles->size() != sent.size() || seen.size() != sent.size() || released.size() != sent.size()) {
            std::fprintf(stderr,
                         "keytap bench: %zu taps sent, %zu toggles, %zu on the tap's thread, %zu seen by the "
                         "raw reader\n",
                         sent.size(), toggles->size(), released.size(), seen.size());
            return std::nullopt;
        }
        for (std::size_t i = 0; i < sent.size(); ++i) {
            toggleLatency.push_back(ms((*toggles)[i] - sent[i]));
            tapThreadLatency.push_back(ms(released[i] - sent[i]));
            rawLatency.push_back(ms(seen[i] - sent[i]));
        }
    }

    const auto print = [](const char *what, const std::vector<double> &values, const char *aim) {
        const Stats stats = statsOf(values);
        std::printf("  %-34s median %7.3f ms  p95 %7.3f ms  worst %7.3f ms%s\n", what, stats.median, stats.p95,
                    stats.worst, aim);
    };
    const double typingMs = typist.takeTypingMs();
    std::printf("Right Ctrl tap %s, under %d bursts of %d typed keys (%zu taps, %.0f keys/s), XTest send to:\n", label,
                kBursts, kTypedKeys, toggleLatency.size(), kBursts * kTypedKeys * 1000.0 / typingMs);
    print("toggle on the main thread", toggleLatency, "  (aim: median < 5 ms)");
    print("the release on the tap's thread", tapThreadLatency, "");
    print("reference: a raw XI2 reader", rawLatency, "");
    const std::vector<double> checks = secureInput.take();
    if (!checks.empty())
        print(("secure-input checks: " + std::to_string(checks.size()) + ", each").c_str(), checks, "");
    if (*otherEvents)
        std::printf("  (%d reports other than toggle)\n", *otherEvents);
    return run;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const QByteArray displayName = qgetenv("DISPLAY");
    if (displayName.isEmpty()) {
        std::fprintf(stderr, "keytap bench: DISPLAY is not set (run under Xvfb)\n");
        return 1;
    }

    RawReader reader(displayName.constData());
    Typist typist(displayName.constData());
    if (!reader || !typist) {
        std::fprintf(stderr, "keytap bench: cannot open %s with XInput 2 and XTest\n", displayName.constData());
        return 1;
    }

    X11KeyEventTaps taps(QString::fromLocal8Bit(displayName));
    QObject context;
    FakeSecureInput noCheck;
    TimedSecureInput timedNoCheck(noCheck);
    if (!measure("without the secure-input check", taps, timedNoCheck, reader, typist, context))
        return 1;
    X11SecureInput secureInput(QString::fromLocal8Bit(displayName));
    TimedSecureInput timedSecureInput(secureInput);
    std::optional<Run> run = measure("as dictation makes it", taps, timedSecureInput, reader, typist, context);
    if (!run)
        return 1;

    // Idle: nothing typed, the event loop running.
    std::vector<double> tapCpuBefore;
    for (long tid : run->threads)
        tapCpuBefore.push_back(threadCpuMs(tid));
    const double readerBefore = threadCpuMs(reader.threadId());
    const auto idleStart = Clock::now();
    {
        QEventLoop loop;
        QTimer::singleShot(idleSeconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double idleMs = ms(Clock::now() - idleStart);
    std::printf("CPU while idle for %.1f s:\n", idleMs / 1000);
    for (std::size_t i = 0; i < run->threads.size(); ++i) {
        const double used = threadCpuMs(run->threads[i]) - tapCpuBefore[i];
        std::printf("  tap thread %-8ld                   %8.3f ms  (%.4f%% of a core)  (aim: none measurable)\n",
                    run->threads[i], used, 100 * used / idleMs);
    }
    const double readerUsed = threadCpuMs(reader.threadId()) - readerBefore;
    std::printf("  reference: the raw reader's thread    %8.3f ms  (%.4f%% of a core)\n", readerUsed,
                100 * readerUsed / idleMs);
    return 0;
}
