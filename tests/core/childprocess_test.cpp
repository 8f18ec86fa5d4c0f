#include "core/childprocess.h"
#include "core/error.h"
#include "support/testsupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

using Stream = ChildProcess::Stream;

ChildProcess::Options shell(const QString &script) {
    ChildProcess::Options options;
    options.program = QStringLiteral("/bin/sh");
    options.arguments = {QStringLiteral("-c"), script};
    options.output = Stream::Pipe;
    return options;
}

// Collects what the child writes to its output until the exit has been reported, reading the
// rest of the pipe in the exit's slot.
struct ChildRun {
    explicit ChildRun(ChildProcess &process) : process(process), notifier(process.outputFd(), QSocketNotifier::Read) {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { read(); });
        QObject::connect(&process, &ChildProcess::exited, [this](int s) {
            read();
            status = s;
        });
    }
    void read() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(process.outputFd(), buffer, sizeof buffer)) > 0)
            output.append(buffer, n);
        if (n == 0)
            notifier.setEnabled(false);
    }
    bool finish() {
        return test::waitUntil([&] { return status.has_value(); }, 30s);
    }
    ChildProcess &process;
    QSocketNotifier notifier;
    QByteArray output;
    std::optional<int> status;
};

int spawnErrno(const QString &program) {
    ChildProcess::Options options;
    options.program = program;
    try {
        ChildProcess process(options);
    } catch (const PosixError &e) {
        return e.errnoValue();
    }
    return 0;
}

} // namespace

TEST(ChildProcess, PassesArgumentsEnvironmentAndStreamsAndReportsTheExitStatus) {
    struct Case {
        const char *script;
        std::optional<QStringList> environment;
        QByteArray output;
        int status;
    };
    const Case cases[] = {
        {R"(printf '%s/%s' "$1" "$VELMORA_CHILD"; exit 3)", QStringList{"VELMORA_CHILD=set"}, "one two/set", 3},
        // Without an environment of its own the child inherits ours.
        {R"(printf '%s' "$VELMORA_INHERITED")", std::nullopt, "inherited", 0},
        // A child ended by a signal reports the signal's number.
        {"echo before; kill -KILL $$", std::nullopt, "before\n", SIGKILL},
    };
    qputenv("VELMORA_INHERITED", "inherited");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.script);
        auto options = shell(QString::fromUtf8(c.script));
        options.arguments << QStringLiteral("name") << QStringLiteral("one two");
        options.environment = c.environment;
        ChildProcess process(options);
        EXPECT_GT(process.processId(), 0);
        ChildRun run(process);
        ASSERT_TRUE(run.finish());
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(process.exitStatus(), c.status);
        EXPECT_FALSE(process.isRunning());
    }
    qunsetenv("VELMORA_INHERITED");

    // An exact environment holds nothing else of ours.
    ChildProcess::Options env;
    env.program = QStringLiteral("/usr/bin/env");
    env.environment = QStringList{"A=1", "B=two words"};
    env.output = Stream::Pipe;
    ChildProcess envProcess(env);
    ChildRun envRun(envProcess);
    ASSERT_TRUE(envRun.finish());
    EXPECT_EQ(envRun.output, "A=1\nB=two words\n");
}

TEST(ChildProcess, TheInputPipeFeedsTheChildAndNullStreamsGiveNothing) {
    ChildProcess::Options options;
    options.program = QStringLiteral("/bin/cat");
    options.input = Stream::Pipe;
    options.output = Stream::Pipe;
    options.inputCapacity = 1 << 20;
    ChildProcess cat(options);
    // The whole line fits the enlarged pipe, so this write never waits for the child.
    const QByteArray line = QByteArray(512 * 1024, 'x') + '\n';
    ASSERT_EQ(::write(cat.inputFd(), line.constData(), size_t(line.size())), line.size());
    cat.closeInput();
    EXPECT_EQ(cat.inputFd(), -1);
    ChildRun run(cat);
    ASSERT_TRUE(run.finish());
    EXPECT_EQ(run.output, line);
    EXPECT_EQ(run.status, 0);

    // Standard input from /dev/null ends at once; output and errors to /dev/null.
    ChildProcess::Options quiet;
    quiet.program = QStringLiteral("/bin/cat");
    ChildProcess nothing(quiet);
    EXPECT_EQ(nothing.inputFd(), -1);
    EXPECT_EQ(nothing.outputFd(), -1);
    QSignalSpy exited(&nothing, &ChildProcess::exited);
    ASSERT_TRUE(exited.wait(30'000));
    EXPECT_EQ(exited.at(0).at(0).toInt(), 0);
}

TEST(ChildProcess, TerminateAsksFirstAndKillsAfterTheGrace) {
    // A child that leaves when asked, though this process ignores and blocks SIGTERM: the
    // child starts with default handling and nothing blocked.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &old);
    sigset_t term, oldMask;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &oldMask);
    auto polite = shell(QStringLiteral("echo ready; exec sleep 1000"));
    ChildProcess leaves(polite);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGTERM, &old, nullptr);
    ChildRun leavesRun(leaves);
    ASSERT_TRUE(test::waitUntil([&] { return leavesRun.output == "ready\n"; }));
    leaves.terminate(1h);
    ASSERT_TRUE(leavesRun.finish());
    EXPECT_EQ(leavesRun.status, SIGTERM);

    // A child that ignores SIGTERM is killed once the grace has passed.
    auto stubborn = shell(QStringLiteral("trap '' TERM; echo ready; read line"));
    stubborn.input = Stream::Pipe;
    ChildProcess stays(stubborn);
    ChildRun staysRun(stays);
    ASSERT_TRUE(test::waitUntil([&] { return staysRun.output == "ready\n"; }));
    stays.terminate(50ms);
    stays.terminate(1h); // a second request keeps the first deadline
    ASSERT_TRUE(staysRun.finish());
    EXPECT_EQ(staysRun.status, SIGKILL);

    // Once reaped, the child's id may belong to another process: nothing is sent to it (nor to
    // process 0, which would end this test's own group).
    stays.terminate(1ms);
    stays.kill();
    EXPECT_EQ(stays.exitStatus(), SIGKILL);
}

TEST(ChildProcess, DestroyingItEndsAndReapsTheChild) {
    qint64 pid = 0;
    {
        auto options = shell(QStringLiteral("exec sleep 1000"));
        ChildProcess process(options);
        pid = process.processId();
        ASSERT_TRUE(process.isRunning());
    }
    // Reaped: it is no longer a child of ours.
    EXPECT_EQ(::waitpid(pid_t(pid), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChildProcess, AProgramThatCannotRunThrowsTheSystemsReason) {
    test::TempHome home;
    const QString plain = home.path() + "/plain";
    test::writeFile(plain, "not a program");
    const struct {
        QString program;
        int error;
    } cases[] = {
        {home.path() + "/missing", ENOENT},
        {QString(), ENOENT},
        {plain, EACCES},
    };
    for (const auto &c : cases)
        EXPECT_EQ(spawnErrno(c.program), c.error) << c.program.toStdString();
}
