#include "core/defaults.h"
#include "core/log.h"
#include "llm/llmserver.h"
#include "llmtestsupport.h"

#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

class LLMServerTest : public ::testing::Test {
protected:
    TempHome home;
    LogCapture log;

    std::unique_ptr<LLMServer> makeServer(std::chrono::milliseconds loadTimeout = 10s) {
        return std::make_unique<LLMServer>(helperProgram(), loadTimeout, fastTimings());
    }

    int count(const QString &message) const {
        int n = 0;
        for (const auto &line : log.lines())
            n += line.category == QStringLiteral("llm") && line.message == message;
        return n;
    }
    int countPrefix(const QString &prefix) const {
        int n = 0;
        for (const auto &line : log.lines())
            n += line.category == QStringLiteral("llm") && line.message.startsWith(prefix);
        return n;
    }
};

} // namespace

TEST_F(LLMServerTest, LaunchesWithTheFixedCommandLineAndOnlyTwoVariables) {
    StandIn standIn({{"readyDelayMs", 150}});
    auto server = makeServer();
    run(server->start(standIn.model(), standIn.draft()));
    ASSERT_TRUE(server->isReady());
    const qint64 pid = server->processId();

    const auto launches = standIn.launches();
    ASSERT_EQ(launches.size(), 1);
    const QJsonArray args = launches[0].value(QStringLiteral("arguments")).toArray();
    ASSERT_EQ(args.size(), 29);
    QStringList argList;
    for (const auto &a : args)
        argList.append(a.toString());
    const quint16 port = quint16(server->baseUrl().port());
    EXPECT_EQ(argList, LLMServer::arguments(standIn.model(), standIn.draft(), port));
    EXPECT_EQ(argList.at(26), QString::number(port));
    EXPECT_EQ(server->baseUrl().toString(), QStringLiteral("http://127.0.0.1:%1").arg(port));

    const QString key = server->apiKey();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{4,64}$")).match(key).hasMatch()) << key.toStdString();
    QStringList environment;
    for (const auto &e : launches[0].value(QStringLiteral("environment")).toArray())
        environment.append(e.toString());
    environment.sort();
    EXPECT_EQ(environment,
              (QStringList{QStringLiteral("LLAMA_API_KEY=") + key, QStringLiteral("LLAMA_SERVER_ROUTER_PORT=0")}));
    EXPECT_EQ(countPrefix(QStringLiteral("LLM ready in ")), 1);

    run(server->terminate());
    EXPECT_FALSE(server->isReady());
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(countPrefix(QStringLiteral("LLM helper exited unexpectedly")), 0);
}

TEST_F(LLMServerTest, CommandLineTable) {
    const QStringList args = LLMServer::arguments(QStringLiteral("/m/a.gguf"), QStringLiteral("/m/b.gguf"), 40123);
    const QStringList expected = {"--model",
                                  "/m/a.gguf",
                                  "--spec-draft-model",
                                  "/m/b.gguf",
                                  "--spec-type",
                                  "draft-mtp",
                                  "--spec-draft-n-max",
                                  "3",
                                  "--ctx-size",
                                  "16384",
                                  "--parallel",
                                  "1",
                                  "--temp",
                                  "1.0",
                                  "--top-k",
                                  "64",
                                  "--top-p",
                                  "0.95",
                                  "--n-gpu-layers",
                                  "999",
                                  "--reasoning",
                                  "off",
                                  "--jinja",
                                  "--host",
                                  "127.0.0.1",
                                  "--port",
                                  "40123",
                                  "--no-webui",
                                  "--no-slots"};
    EXPECT_EQ(args, expected);
}

TEST_F(LLMServerTest, ConcurrentStartsShareOneLaunchAndStartWhileReadyReturnsAtOnce) {
    StandIn standIn({{"readyDelayMs", 200}});
    auto server = makeServer();
    auto first = server->start(standIn.model(), standIn.draft());
    auto second = server->start(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
    run(std::move(first));
    run(std::move(second));
    EXPECT_TRUE(server->isReady());
    const qint64 pid = server->processId();
    run(server->start(standIn.model(), standIn.draft()));
    EXPECT_EQ(server->processId(), pid);
    EXPECT_EQ(standIn.launches().size(), 1);
    run(server->terminate());
    EXPECT_TRUE(processGone(pid));
}

TEST_F(LLMServerTest, ExitWhileLoadingIsRetriedOnceOnANewPortWithANewKey) {
    StandIn standIn({{"exitWhileLoading", 1}});
    auto server = makeServer();
    run(server->start(standIn.model(), standIn.draft()));
    EXPECT_TRUE(server->isReady());
    const auto launches = standIn.launches();
    ASSERT_EQ(launches.size(), 2);
    const auto env = [&](int i) { return launches[i].value(QStringLiteral("environment")).toArray(); };
    EXPECT_NE(env(0), env(1)); // a fresh key
    EXPECT_EQ(launches[1].value(QStringLiteral("arguments")).toArray().at(26).toString(),
              QString::number(server->baseUrl().port()));
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Error,
                             QStringLiteral("LLM helper exited unexpectedly with status 7")));
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Default,
                             QStringLiteral("LLM exited while loading; retrying on a new port")));
    EXPECT_EQ(countPrefix(QStringLiteral("LLM ready in ")), 1);
    const qint64 pid = server->processId();
    run(server->terminate());
    EXPECT_TRUE(processGone(pid));
}

TEST_F(LLMServerTest, SecondExitWhileLoadingFailsWithExited) {
    StandIn standIn({{"exitWhileLoading", 5}, {"exitStatus", 3}});
    auto server = makeServer();
    const auto error = serverError(failureOf(server->start(standIn.model(), standIn.draft())));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Exited);
    EXPECT_FALSE(server->isReady());
    EXPECT_EQ(server->processId(), 0);
    EXPECT_EQ(standIn.launches().size(), 2);
    EXPECT_EQ(count(QStringLiteral("LLM exited while loading; retrying on a new port")), 1);
    EXPECT_EQ(count(QStringLiteral("LLM helper exited unexpectedly with status 3")), 2);
    EXPECT_EQ(countPrefix(QStringLiteral("LLM ready in ")), 0);
}

TEST_F(LLMServerTest, NeverHealthyIsStoppedAtTheLoadTimeout) {
    StandIn standIn({{"readyDelayMs", -1}});
    auto server = makeServer(1000ms);
    auto task = server->start(standIn.model(), standIn.draft());
    ASSERT_TRUE(waitUntil([&] { return server->processId() != 0; }));
    const qint64 pid = server->processId();
    const auto error = serverError(failureOf(std::move(task)));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Timeout);
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(server->processId(), 0);
    // A time-out is not retried, and the stop it makes is no unexpected exit.
    EXPECT_EQ(count(QStringLiteral("LLM exited while loading; retrying on a new port")), 0);
    EXPECT_EQ(countPrefix(QStringLiteral("LLM helper exited unexpectedly")), 0);
}

TEST_F(LLMServerTest, TerminateWhileLoadingCancelsTheStartWithoutRelaunch) {
    for (const bool ignoreTerm : {false, true}) {
        SCOPED_TRACE(ignoreTerm ? "ignores SIGTERM" : "stops on SIGTERM");
        StandIn standIn({{"readyDelayMs", -1}, {"ignoreTerm", ignoreTerm}});
        auto server = makeServer();
        auto start = server->start(standIn.model(), standIn.draft());
        ASSERT_TRUE(waitUntil([&] { return standIn.launches().size() == 1; }));
        const qint64 pid = server->processId();
        // Two stops at once: both return after the one exit (SIGKILL after the grace when the
        // server ignores SIGTERM).
        auto stop1 = server->terminate();
        auto stop2 = server->terminate();
        run(std::move(stop1));
        run(std::move(stop2));
        EXPECT_TRUE(processGone(pid));
        EXPECT_TRUE(isCancellation(failureOf(std::move(start))));
        EXPECT_EQ(standIn.launches().size(), 1);
    }
    EXPECT_EQ(count(QStringLiteral("LLM exited while loading; retrying on a new port")), 0);
    EXPECT_EQ(countPrefix(QStringLiteral("LLM helper exited unexpectedly")), 0);
}

TEST_F(LLMServerTest, StartDuringAStopWaitsThenLaunchesAfresh) {
    StandIn standIn({{"ignoreTerm", true}});
    auto server = makeServer();
    run(server->start(standIn.model(), standIn.draft()));
    const qint64 oldPid = server->processId();
    const QString oldKey = server->apiKey();
    const int oldPort = server->baseUrl().port();
    auto stop = server->terminate(); // needs SIGKILL after the grace
    run(server->start(standIn.model(), standIn.draft()));
    EXPECT_TRUE(processGone(oldPid));
    EXPECT_TRUE(server->isReady());
    EXPECT_NE(server->apiKey(), oldKey);
    EXPECT_NE(server->baseUrl().port(), oldPort);
    run(std::move(stop));
    const qint64 pid = server->processId();
    run(server->terminate());
    EXPECT_TRUE(processGone(pid));
}

TEST_F(LLMServerTest, TerminateWithoutProcessStillFencesOffTheLoad) {
    auto server = makeServer();
    const qint64 generation = server->generation();
    run(server->terminate());
    EXPECT_EQ(server->generation(), generation + 1);
}

TEST_F(LLMServerTest, MissingProgramIsUnavailable) {
    StandIn standIn;
    LLMServer server(home.path() + QStringLiteral("/no-such-server"), 5s, fastTimings());
    const auto error = serverError(failureOf(server.start(standIn.model(), standIn.draft())));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Unavailable);
    EXPECT_FALSE(server.isReady());
}

TEST_F(LLMServerTest, ExitWhileReadyIsLoggedAndClearsReadiness) {
    StandIn standIn;
    auto server = makeServer();
    run(server->start(standIn.model(), standIn.draft()));
    const qint64 pid = server->processId();
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !server->isReady(); }));
    EXPECT_TRUE(processGone(pid));
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Error,
                             QStringLiteral("LLM helper exited unexpectedly with status 9")));
    EXPECT_TRUE(server->baseUrl().isEmpty());
    // Nothing restarts it by itself; the next start does.
    run(server->start(standIn.model(), standIn.draft()));
    EXPECT_TRUE(server->isReady());
    const qint64 second = server->processId();
    run(server->terminate());
    EXPECT_TRUE(processGone(second));
}

TEST_F(LLMServerTest, ProgramPathComesFromDefaultsOrLaunchArgumentOrBesideVelmora) {
    Defaults defaults(QString{});
    EXPECT_EQ(LLMServer::executablePath(defaults), LLMServer::defaultExecutablePath());
    EXPECT_TRUE(LLMServer::defaultExecutablePath().endsWith(QStringLiteral("/llm-helper")));
    defaults.setString(QString::fromLatin1(LLMServer::kExecutablePathKey), QStringLiteral("/opt/a/server"));
    EXPECT_EQ(LLMServer::executablePath(defaults), QStringLiteral("/opt/a/server"));
    defaults.setArguments(
        {QStringLiteral("velmora"), QStringLiteral("-llmServerPath"), QStringLiteral("/opt/b/server")});
    EXPECT_EQ(LLMServer::executablePath(defaults), QStringLiteral("/opt/b/server"));
}

TEST_F(LLMServerTest, StandInEndsWhenItsParentsPipeCloses) {
    StandIn standIn;
    QProcess process;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LLAMA_API_KEY"), QStringLiteral("k"));
    environment.insert(QStringLiteral("LLAMA_SERVER_ROUTER_PORT"), QStringLiteral("0"));
    process.setProcessEnvironment(environment);
    process.start(helperProgram(), LLMServer::arguments(standIn.model(), standIn.draft(), LLMServer::freePort()));
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return standIn.launches().size() == 1; }));
    EXPECT_EQ(process.state(), QProcess::Running);
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}
