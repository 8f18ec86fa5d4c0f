#pragma once

// Shared pieces of the recording tests: a real Library in the test's temporary home, a
// measurements type, and what History holds (read through library/storedruns.h).

#include "library/library.h"
#include "library/storedruns.h"
#include "speech/recordinghistory.h"

#include "support/testsupport.h"

#include <QJsonObject>

#include <memory>
#include <optional>

namespace velmora::test {

struct TestMeasurements {
    static constexpr qint64 version = 1;
    std::optional<double> audioSeconds;
    std::optional<qint64> chunks;
    std::optional<QString> note;

    QJsonObject toJson() const {
        QJsonObject o;
        if (audioSeconds)
            o.insert(QStringLiteral("audioSeconds"), *audioSeconds);
        if (chunks)
            o.insert(QStringLiteral("chunks"), *chunks);
        if (note)
            o.insert(QStringLiteral("note"), *note);
        return o;
    }
};

using TestHistory = RecordingHistory<TestMeasurements>;

// Runs SQL on the Library's connection (to inject faults with triggers).
inline void execSql(Library &library, const QString &sql) {
    const std::string text = sql.toStdString();
    run(library.write([text](SQLite::Database &db) { db.exec(text); }));
}

} // namespace velmora::test
