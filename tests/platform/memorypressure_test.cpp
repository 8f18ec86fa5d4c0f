#include "platform/memorypressure.h"

#include "core/log.h"
#include "support/testsupport.h"

#include <QFile>
#include <QSignalSpy>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QByteArray pressureText(qint64 some, qint64 full) {
    return "some avg10=0.00 avg60=0.00 avg300=0.00 total=" + QByteArray::number(some) +
           "\nfull avg10=0.00 avg60=0.00 avg300=0.00 total=" + QByteArray::number(full) + "\n";
}

PsiMemoryPressure::Options pollOptions(const QString &path) {
    PsiMemoryPressure::Options o;
    o.path = path;
    o.stall = 150'000us;
    o.window = 2'000'000us;
    o.pollInterval = 20ms;
    o.useTrigger = true; // a plain file takes no trigger, so the poll must take over
    return o;
}

} // namespace

TEST(PsiMemoryPressureParse, ReadsTheStallTotals) {
    struct Case {
        QByteArray text;
        std::optional<qint64> some;
        std::optional<qint64> full;
    };
    const Case cases[] = {
        {pressureText(12, 7), 12, 7},
        {"some avg10=1.00 avg60=0.00 avg300=0.00 total=99\n", 99, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"garbage\n", std::nullopt, std::nullopt},
        {"some avg10=1.00 total=x12\n", std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        const auto totals = PsiMemoryPressure::parse(c.text);
        ASSERT_EQ(totals.has_value(), c.some.has_value()) << c.text.constData();
        if (totals) {
            EXPECT_EQ(totals->some, *c.some);
            EXPECT_EQ(totals->full, c.full);
        }
    }
}

// A stall at the threshold within one poll interval is pressure; "full" stall is critical.
TEST(PsiMemoryPressure, PollReportsStallAboveTheScaledThreshold) {
    test::TempHome home;
    const QString path = home.path() + QStringLiteral("/memory");
    test::writeFile(path, pressureText(1000, 0));
    PsiMemoryPressure source(pollOptions(path));
    QSignalSpy spy(&source, &MemoryPressureSource::pressure);
    source.start();
    ASSERT_EQ(source.mode(), PsiMemoryPressure::Mode::Poll);

    // 20 ms of a 2 s window scales 150 ms down to 1.5 ms: 1 ms of stall is below it.
    test::writeFile(path, pressureText(2000, 0));
    test::spin(100ms);
    EXPECT_EQ(spy.count(), 0);

    test::writeFile(path, pressureText(2000 + 50'000, 0));
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.at(0).at(0).value<MemoryPressureSource::Level>(), MemoryPressureSource::Level::Warning);

    spy.clear();
    test::writeFile(path, pressureText(200'000, 100'000));
    ASSERT_TRUE(test::waitUntil([&] { return spy.count() > 0; }));
    EXPECT_EQ(spy.at(0).at(0).value<MemoryPressureSource::Level>(), MemoryPressureSource::Level::Critical);
}

// Without the pressure file (an older kernel, a container) nothing is watched and nothing breaks.
TEST(PsiMemoryPressure, MissingFileIsLoggedAndLeavesTheMonitorOff) {
    test::TempHome home;
    LogCapture log;
    PsiMemoryPressure source(pollOptions(home.path() + QStringLiteral("/no-such-file")));
    source.start();
    EXPECT_EQ(source.mode(), PsiMemoryPressure::Mode::Off);
    EXPECT_TRUE(
        log.contains(QStringLiteral("app"), QStringLiteral("Memory pressure is not watched: NSPOSIXErrorDomain 2")));
}

// A pressure file that goes away while polled stops the poll with a log line.
TEST(PsiMemoryPressure, FileThatDisappearsStopsThePoll) {
    test::TempHome home;
    const QString path = home.path() + QStringLiteral("/memory");
    test::writeFile(path, pressureText(0, 0));
    LogCapture log;
    PsiMemoryPressure source(pollOptions(path));
    source.start();
    ASSERT_EQ(source.mode(), PsiMemoryPressure::Mode::Poll);
    QFile::remove(path);
    ASSERT_TRUE(test::waitUntil([&] { return source.mode() == PsiMemoryPressure::Mode::Off; }));
    EXPECT_TRUE(log.contains(QStringLiteral("app"),
                             QStringLiteral("Memory pressure is not watched: the pressure file went away")));
}

// On the kernel's own file the source either registers a trigger or, where the kernel refuses
// one to this process, polls: it is never left off.
TEST(PsiMemoryPressure, KernelFileIsWatched) {
    if (!QFile::exists(QStringLiteral("/proc/pressure/memory")))
        GTEST_SKIP() << "this kernel has no pressure stall information";
    PsiMemoryPressure source;
    source.start();
    EXPECT_NE(source.mode(), PsiMemoryPressure::Mode::Off);
}
