#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace velmora::test {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and TMPDIR at a fresh temporary folder for one test,
// restoring the previous values afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    QString path() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString tempDir() const { return m_dir.path() + QStringLiteral("/tmp"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldData, m_oldConfig, m_oldTmp;
};

// How long test::run waits for a task before failing the test.
constexpr std::chrono::milliseconds kRunTimeout{60'000};

// Thrown by test::run when the task has not finished in time (the test has failed by then).
class RunTimeout : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs the task to completion in a nested event loop and returns its result or rethrows its
// error (QCoro's own waitFor never returns when the task throws). A task still running after
// the timeout fails the test and throws RunTimeout instead of hanging it.
template <typename T>
T run(QCoro::Task<T> &&task, std::chrono::milliseconds timeout = kRunTimeout) {
    // Shared with the driver, which outlives this call when the task never finishes.
    struct Outcome {
        QPointer<QEventLoop> loop;
        bool finished = false;
        std::exception_ptr error;
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    };
    auto outcome = std::make_shared<Outcome>();
    auto driver = [](QCoro::Task<T> t, std::shared_ptr<Outcome> out) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(t);
                out->result.emplace(true);
            } else {
                out->result.emplace(co_await std::move(t));
            }
        } catch (...) {
            out->error = std::current_exception();
        }
        out->finished = true;
        if (out->loop)
            out->loop->quit();
    };
    auto running = driver(std::move(task), outcome);
    if (!outcome->finished) {
        QEventLoop loop;
        outcome->loop = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeout);
        loop.exec();
        if (!outcome->finished) {
            const std::string message = "test::run: the task did not finish within " + std::to_string(timeout.count()) +
                                        " ms (a promise that is never settled, or a lost wake-up?)";
            ADD_FAILURE() << message;
            throw RunTimeout(message);
        }
    }
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome->result);
}

// Spins the event loop until predicate is true or the timeout passes; returns predicate().
bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs what is still queued to this thread (coroutine resumptions, deferred deletes) until
// nothing of the kit's is left, so no coroutine a test settled stays suspended at exit.
void drainPostedEvents();

// The listeners every test program installs (call after InitGoogleTest): drainPostedEvents
// after each test.
void installListeners();

// Runs the event loop for the duration.
void spin(std::chrono::milliseconds duration);

// Writes bytes to a file, creating parent folders.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Starts a server program that announces itself (its display, its address) in the first line it
// prints, and returns that line, trimmed; empty when it did not start or printed no whole line
// within 10 s.
QString startAndReadFirstLine(QProcess &process);
// Ends a program the test started: SIGTERM, and SIGKILL when it has not gone within 5 s.
void endProcess(QProcess &process);

// The path of a helper program built by this project (tests find them through
// VELMORA_HELPERS_DIR).
QString helperPath(const QString &name);

} // namespace velmora::test
