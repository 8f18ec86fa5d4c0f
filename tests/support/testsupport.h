#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>

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

// Runs the task to completion in a nested event loop and returns its result or rethrows its
// error (QCoro's own waitFor never returns when the task throws).
template <typename T>
T run(QCoro::Task<T> &&task) {
    QEventLoop loop;
    bool finished = false;
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    auto driver = [](QCoro::Task<T> t, QEventLoop *loop, bool *finished, std::exception_ptr *error,
                     decltype(result) *result) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(t);
                result->emplace(true);
            } else {
                result->emplace(co_await std::move(t));
            }
        } catch (...) {
            *error = std::current_exception();
        }
        *finished = true;
        loop->quit();
    };
    auto running = driver(std::move(task), &loop, &finished, &error, &result);
    if (!finished)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

// Spins the event loop until predicate is true or the timeout passes; returns predicate().
bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs the event loop for the duration.
void spin(std::chrono::milliseconds duration);

// Writes bytes to a file, creating parent folders.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// The path of a helper program built by this project (tests find them through
// VELMORA_HELPERS_DIR).
QString helperPath(const QString &name);

} // namespace velmora::test
