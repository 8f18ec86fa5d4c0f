#pragma once

#include <QString>

#include <exception>
#include <string>

namespace velmora {

// Every failure the program throws carries a domain and a numeric code, which is all that
// log lines ever show of it. Components derive their own error types from this one.
class Error : public std::exception {
public:
    Error(QString domain, qint64 code, QString message = {});

    const QString &domain() const { return m_domain; }
    qint64 code() const { return m_code; }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_domain;
    qint64 m_code;
    QString m_message;
    std::string m_what;
};

// A failure reported by the operating system, with its errno value as the code.
class PosixError : public Error {
public:
    static constexpr const char *kDomain = "NSPOSIXErrorDomain";
    explicit PosixError(int errnoValue, QString message = {});
    int errnoValue() const { return int(code()); }
};

// Thrown when work is cancelled; never logged as a failure.
class CancelledError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.CancellationError";
    CancelledError();
};

// Whether the exception held by ptr (or the current one) is a cancellation.
bool isCancellation(const std::exception_ptr &ptr);

} // namespace velmora
