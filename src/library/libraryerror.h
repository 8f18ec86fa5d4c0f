#pragma once

// The Library's failures. Each is an Error with its own domain; its kind is read through kind().

#include "core/error.h"

#include <QObject>
#include <QString>

#include <optional>

namespace velmora {

// Why the Library cannot be used. Stored and logged by its name (core/enumname.h: "newerVersion",
// "damaged", "diskFull", "other").
struct LibraryUnavailable {
    Q_GADGET
public:
    enum class Reason { NewerVersion, Damaged, DiskFull, Other };
    Q_ENUM(Reason)
};
using LibraryUnavailableReason = LibraryUnavailable::Reason;

QString toString(LibraryUnavailableReason reason);
// Exact, case-sensitive match of a raw string; none for any other string.
std::optional<LibraryUnavailableReason> libraryUnavailableReasonFromString(const QString &raw);

// What Library::read and Library::write fail with when the Library has no database.
class LibraryUnavailableError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.Library.UnavailableReason";
    explicit LibraryUnavailableError(LibraryUnavailableReason reason);
    LibraryUnavailableReason kind() const { return LibraryUnavailableReason(code()); }
};

// A failure reported by SQLite, with its extended result code as the code.
class DatabaseError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.DatabaseError";
    DatabaseError(int extendedCode, QString message);
    // SQLite's primary result code (SQLITE_CORRUPT, SQLITE_FULL, SQLITE_INTERRUPT, ...).
    int kind() const { return int(code()) & 0xff; }
    int extendedCode() const { return int(code()); }
};

// A stored value that cannot be read back (an unknown enumeration string, a bad id or date).
class LibraryDecodingError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.LibraryDecodingError";
    explicit LibraryDecodingError(QString message);
};

} // namespace velmora
