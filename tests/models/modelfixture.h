#pragma once

#include "core/error.h"
#include "models/modelmanifest.h"
#include "rangeserver.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace velmora::test {

// Parts of 1 MiB keep the test files small.
inline constexpr qint64 kPart = 1 << 20;

// How some model work ended: "ok", a failure's stored name, "cancelled", or an error's domain
// and code.
inline QString outcomeOf(const std::function<void()> &work) {
    try {
        work();
        return QStringLiteral("ok");
    } catch (const ModelFailureError &e) {
        return toString(e.kind());
    } catch (const CancelledError &) {
        return QStringLiteral("cancelled");
    } catch (const Error &e) {
        return e.domain() + u' ' + QString::number(e.code());
    }
}

inline QString outcomeOf(QCoro::Task<> &&task) {
    return outcomeOf([&] { run(std::move(task)); });
}

inline bool exists(const QString &path) {
    return QFileInfo::exists(path);
}

// Copies bytes [offset, offset + length) of one file into another.
inline void copySlice(const QString &from, const QString &to, qint64 offset, qint64 length) {
    QFile in(from);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    in.seek(offset);
    writeFile(to, in.read(length));
}

} // namespace velmora::test
