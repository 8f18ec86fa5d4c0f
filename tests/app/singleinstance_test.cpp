#include "app/singleinstance.h"
#include "velmoraprocess.h"

#include <QLockFile>

using namespace velmora;
using namespace velmora::test;

namespace {
const QString kOtherCopy = QStringLiteral("Another copy is running; quitting");
const QString kLaunched = QStringLiteral("Launched ");
} // namespace

// Two copies started at the same moment: exactly one survives, the other says so and ends
// with status 0. Repeated, since the race differs from run to run.
TEST(SingleInstance, TwoCopiesStartedTogetherLeaveExactlyOne) {
    for (int round = 0; round < 3; ++round) {
        TempHome home;
        VelmoraProcess a(home), b(home);
        a.start();
        b.start();
        ASSERT_TRUE(a.waitForStarted());
        ASSERT_TRUE(b.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return !a.isRunning() || !b.isRunning(); }, std::chrono::seconds(90)))
            << "round " << round << ": both copies kept running";
        VelmoraProcess &ended = a.isRunning() ? b : a;
        VelmoraProcess &survivor = a.isRunning() ? a : b;
        EXPECT_EQ(ended.waitForExit(), 0) << ended.output().toStdString();
        EXPECT_TRUE(ended.output().contains(kOtherCopy)) << ended.output().toStdString();
        EXPECT_FALSE(ended.output().contains(kLaunched));
        ASSERT_TRUE(survivor.waitForLine(kLaunched)) << survivor.output().toStdString();
        EXPECT_TRUE(survivor.isRunning());
        survivor.signal(SIGTERM);
        EXPECT_EQ(survivor.waitForExit(), 0) << survivor.output().toStdString();
    }
}

// A copy that crashed left its lock file and socket behind: the next copy takes over.
TEST(SingleInstance, StaleLockOfACrashedCopyIsTakenOver) {
    TempHome home;
    {
        VelmoraProcess crashed(home);
        crashed.start();
        ASSERT_TRUE(crashed.waitForLine(kLaunched)) << crashed.output().toStdString();
        crashed.signal(SIGKILL);
        crashed.waitForExit();
    }
    SingleInstance paths(VelmoraProcess::runtimeDir(home));
    ASSERT_TRUE(QFile::exists(paths.lockPath()));
    VelmoraProcess next(home);
    next.start();
    ASSERT_TRUE(next.waitForLine(kLaunched)) << next.output().toStdString();
    EXPECT_FALSE(next.output().contains(kOtherCopy));
    next.signal(SIGTERM);
    EXPECT_EQ(next.waitForExit(), 0);
}

// A second copy started while the first one quits does not end with it: it waits for the
// lock and runs.
TEST(SingleInstance, CopyStartedDuringAQuitTakesOver) {
    TempHome home;
    // The first copy's quit waits for the Library's slow opening, so the second copy asks
    // while it quits.
    LockedLibrary locked(home);
    VelmoraProcess first(home);
    first.start();
    ASSERT_TRUE(first.waitForLine(kLaunched));
    SingleInstance::Outcome outcome;
    {
        SingleInstance probe(VelmoraProcess::runtimeDir(home));
        first.signal(SIGTERM);
        ASSERT_TRUE(first.waitForLine(QStringLiteral("Quitting")));
        outcome = probe.enforce(std::chrono::seconds(60));
    }
    EXPECT_EQ(first.waitForExit(), 0);
    EXPECT_EQ(outcome, SingleInstance::Outcome::First);
}
