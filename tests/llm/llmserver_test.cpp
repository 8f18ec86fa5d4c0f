#include "core/childprocess.h"
#include "core/defaults.h"
#include "core/log.h"
#include "llm/llmserver.h"
#include "llm/llmsettings.h"
#include "standinserver.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>

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
        LLMServerTimings timings = fastTimings();
        timings.loadTimeout = loadTimeout;
        return std::make_unique<LLMServer>(helperProgram(), timings);
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
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM ready in ")), 1);

    run(server->terminate());
    EXPECT_FALSE(server->isReady());
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM helper exited unexpectedly")), 0);
}

TEST_F(LLMServerTest, CommandLineCarriesBothModelsThePortAndTheFixedSettings) {
    const QStringList args = LLMServer::arguments(QStringLiteral("/m/a.gguf"), QStringLiteral("/m/b.gguf"), 40123);
    ASSERT_EQ(args.size(), 29);
    const auto valueOf = [&](const char *flag) {
        const qsizetype at = args.indexOf(QLatin1String(flag));
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : QStringLiteral("<missing>");
    };
    EXPECT_EQ(args.mid(0, 4), (QStringList{QStringLiteral("--model"), QStringLiteral("/m/a.gguf"),
                                           QStringLiteral("--spec-draft-model"), QStringLiteral("/m/b.gguf")}));
    // The port in decimal is the 27th argument.
    EXPECT_EQ(args.at(25), QStringLiteral("--port"));
    EXPECT_EQ(args.at(26), QStringLiteral("40123"));
    EXPECT_EQ(valueOf("--host"), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(valueOf("--spec-type"), QStringLiteral("draft-mtp"));
    EXPECT_EQ(valueOf("--ctx-size"), QStringLiteral("16384"));
    EXPECT_EQ(valueOf("--parallel"), QStringLiteral("1"));
    EXPECT_EQ(valueOf("--reasoning"), QStringLiteral("off"));
    for (const char *flag : {"--jinja", "--no-webui", "--no-slots"})
        EXPECT_TRUE(args.contains(QLatin1String(flag))) << flag;
}

TEST(LLMServerTimings, TheProgramRunsWithTheProductionTimings) {
    // Every other test shortens them.
    const LLMServer server(helperProgram());
    EXPECT_EQ(server.timings().loadTimeout, 60s);
    EXPECT_EQ(server.timings().pollInterval, 100ms);
    EXPECT_EQ(server.timings().healthTimeout, 1s);
    EXPECT_EQ(server.timings().killGrace, 500ms);
    EXPECT_EQ(server.timings().requestTimeout, 60s);
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
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM ready in ")), 1);
    terminateAndExpectGone(*server);
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
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM exited while loading; retrying on a new port")), 1);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM helper exited unexpectedly with status 3")), 2);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM ready in ")), 0);
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
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM exited while loading; retrying on a new port")), 0);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM helper exited unexpectedly")), 0);
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
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM exited while loading; retrying on a new port")), 0);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM helper exited unexpectedly")), 0);
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
    terminateAndExpectGone(*server);
}

TEST_F(LLMServerTest, TerminateWithoutAProcessReturnsAtOnceAndAStartStillLaunches) {
    StandIn standIn;
    auto server = makeServer();
    run(server->terminate());
    EXPECT_FALSE(server->isReady());
    EXPECT_TRUE(standIn.launches().isEmpty());
    run(server->start(standIn.model(), standIn.draft()));
    EXPECT_TRUE(server->isReady());
    terminateAndExpectGone(*server);
}

TEST_F(LLMServerTest, MissingProgramIsUnavailable) {
    StandIn standIn;
    LLMServer server(home.path() + QStringLiteral("/no-such-server"), fastTimings());
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
    terminateAndExpectGone(*server);
}

TEST_F(LLMServerTest, ProgramPathComesFromDefaultsOrLaunchArgumentOrBesideVelmora) {
    Defaults defaults(QString{});
    EXPECT_EQ(LLMServer::executablePath(defaults), LLMServer::defaultExecutablePath());
    EXPECT_TRUE(LLMServer::defaultExecutablePath().endsWith(QStringLiteral("/llm-helper")));
    defaults.set(kLLMServerPath, QStringLiteral("/opt/a/server"));
    EXPECT_EQ(LLMServer::executablePath(defaults), QStringLiteral("/opt/a/server"));
    defaults.setArguments(
        {QStringLiteral("velmora"), QStringLiteral("-llmServerPath"), QStringLiteral("/opt/b/server")});
    EXPECT_EQ(LLMServer::executablePath(defaults), QStringLiteral("/opt/b/server"));
}

TEST_F(LLMServerTest, StandInEndsWhenItsParentsPipeCloses) {
    StandIn standIn;
    ChildProcess::Options options;
    options.program = helperProgram();
    options.arguments = LLMServer::arguments(standIn.model(), standIn.draft(), LLMServer::freePort());
    options.environment = QStringList{QStringLiteral("LLAMA_API_KEY=k"), QStringLiteral("LLAMA_SERVER_ROUTER_PORT=0")};
    options.input = ChildProcess::Stream::Pipe;
    ChildProcess process(options);
    QSignalSpy exited(&process, &ChildProcess::exited);
    ASSERT_TRUE(waitUntil([&] { return standIn.launches().size() == 1; }));
    EXPECT_TRUE(process.isRunning());
    process.closeInput();
    ASSERT_TRUE(exited.wait(10000));
    EXPECT_EQ(exited.at(0).at(0).toInt(), 0);
}
