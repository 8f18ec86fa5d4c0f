#include "library/libraryerror.h"

#include <array>

namespace velmora {

namespace {
constexpr std::array<const char *, 4> kReasons{"newerVersion", "damaged", "diskFull", "other"};
} // namespace

QString toString(LibraryUnavailableReason reason) {
    return QString::fromLatin1(kReasons[std::size_t(reason)]);
}

std::optional<LibraryUnavailableReason> libraryUnavailableReasonFromString(const QString &raw) {
    for (std::size_t i = 0; i < kReasons.size(); ++i)
        if (raw == QLatin1String(kReasons[i]))
            return LibraryUnavailableReason(i);
    return std::nullopt;
}

LibraryUnavailableError::LibraryUnavailableError(LibraryUnavailableReason reason)
    : Error(QString::fromUtf8(kDomain), qint64(reason), toString(reason)) {}

DatabaseError::DatabaseError(int extendedCode, QString message)
    : Error(QString::fromUtf8(kDomain), extendedCode, std::move(message)) {}

LibraryDecodingError::LibraryDecodingError(QString message)
    : Error(QString::fromUtf8(kDomain), 0, std::move(message)) {}

} // namespace velmora
