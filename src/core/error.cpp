#include "core/error.h"

#include <cstring>

namespace velmora {

Error::Error(QString domain, qint64 code, QString message)
    : m_domain(std::move(domain)), m_code(code), m_message(std::move(message)) {
    m_what = (m_domain + QLatin1Char(' ') + QString::number(m_code)).toStdString();
    if (!m_message.isEmpty())
        m_what += ": " + m_message.toStdString();
}

PosixError::PosixError(int errnoValue, QString message)
    : Error(QString::fromLatin1(kDomain), errnoValue,
            message.isEmpty() ? QString::fromLocal8Bit(std::strerror(errnoValue)) : std::move(message)) {}

CancelledError::CancelledError() : Error(QString::fromLatin1(kDomain), 1, QStringLiteral("cancelled")) {}

bool isCancellation(const std::exception_ptr &ptr) {
    if (!ptr)
        return false;
    try {
        std::rethrow_exception(ptr);
    } catch (const CancelledError &) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace velmora
