// Streams replies from the stand-in server over loopback, once through LLMRuntime and once as
// a direct HTTP request with the same key, alternating in one run, and prints:
//  - time to the first streamed text (median and p90 over many short replies);
//  - tokens per second for a long reply (median over several runs).

#include "core/continuousclock.h"
#include "core/promise.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/standinserver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace velmora;
using namespace std::chrono;

namespace {

using Clock = ContinuousClock;

struct Timing {
    double firstMs = 0;
    double totalMs = 0;
    long pieces = 0;
};

template <typename T>
T runLoop(QCoro::Task<T> task) {
    QEventLoop loop;
    std::optional<T> result;
    auto driver = [](QCoro::Task<T> t, QEventLoop *loop, std::optional<T> *out) -> QCoro::Task<> {
        out->emplace(co_await std::move(t));
        loop->quit();
    };
    auto running = driver(std::move(task), &loop, &result);
    if (!result)
        loop.exec();
    return std::move(*result);
}

LLMChatRequest request() {
    LLMChatRequest r;
    r.messages = {{QStringLiteral("user"), QStringLiteral("Summarize this text please.")}};
    r.temperature = 0;
    r.maxTokens = 100000;
    r.stream = true;
    return r;
}

QCoro::Task<Timing> throughRuntime(LLMRuntime *runtime) {
    Timing t;
    const auto start = Clock::now();
    LLMEventStream stream = runtime->stream(request());
    while (auto event = co_await stream.next()) {
        if (event->kind != LLMStreamEvent::Kind::Text)
            continue;
        if (t.pieces++ == 0)
            t.firstMs = duration<double, std::milli>(Clock::now() - start).count();
    }
    t.totalMs = duration<double, std::milli>(Clock::now() - start).count();
    co_return t;
}

// The same request by hand: POST, read lines, count the "data:" lines that carry content.
QCoro::Task<Timing> direct(QNetworkAccessManager *network, QUrl base, QString key) {
    Timing t;
    const auto began = Clock::now();
    QNetworkRequest http(QUrl(base.toString() + QStringLiteral("/v1/chat/completions")));
    http.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    http.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    QNetworkReply *reply = network->post(http, request().encode());
    QByteArray buffer;
    Promise<void> done;
    QObject::connect(reply, &QNetworkReply::readyRead, [&] {
        buffer += reply->readAll();
        qsizetype start = 0, nl;
        while ((nl = buffer.indexOf('\n', start)) >= 0) {
            const QByteArrayView line(buffer.constData() + start, nl - start);
            if (line.startsWith("data:") && line.contains("\"content\"")) {
                if (t.pieces++ == 0)
                    t.firstMs = duration<double, std::milli>(Clock::now() - began).count();
            }
            start = nl + 1;
        }
        buffer.remove(0, start);
    });
    QObject::connect(reply, &QNetworkReply::finished, [&] { done.resolve(); });
    co_await done;
    reply->deleteLater();
    t.totalMs = duration<double, std::milli>(Clock::now() - began).count();
    co_return t;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

QCoro::Task<int> bench(QString helper) {
    test::StandIn standIn({}, test::StandIn::Recording::Off);
    auto writeScript = [&](int pieces) {
        QJsonArray tokens;
        for (int i = 0; i < pieces; ++i)
            tokens.append(QStringLiteral("tok%1 ").arg(i % 10));
        standIn.setScript(QJsonObject{{QStringLiteral("tokens"), tokens}});
    };

    LLMServer server(helper);
    const std::unique_ptr<LLMRuntime> owned = test::standInRuntime(server, standIn, [] { return true; });
    LLMRuntime &runtime = *owned;
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);

    // Short replies: first-text latency on a warm model.
    writeScript(8);
    runtime.hold();
    (void)co_await throughRuntime(&runtime); // loads the model
    const int rounds = 200;
    std::vector<double> viaRuntime, viaDirect;
    for (int i = 0; i < rounds; ++i) {
        viaDirect.push_back((co_await direct(&network, server.baseUrl(), server.apiKey())).firstMs);
        viaRuntime.push_back((co_await throughRuntime(&runtime)).firstMs);
    }
    std::printf("first streamed text, %d short replies each, warm model:\n", rounds);
    std::printf("  direct HTTP : median %.3f ms, p90 %.3f ms\n", percentile(viaDirect, 0.5),
                percentile(viaDirect, 0.9));
    std::printf("  LLMRuntime  : median %.3f ms, p90 %.3f ms\n", percentile(viaRuntime, 0.5),
                percentile(viaRuntime, 0.9));
    std::printf("  added by the runtime: median %.3f ms (aim: under 5 ms)\n",
                percentile(viaRuntime, 0.5) - percentile(viaDirect, 0.5));

    // A long reply: throughput. The stand-in reads its script at launch, so restart it.
    const int pieces = 20000;
    writeScript(pieces);
    co_await server.terminate();
    (void)co_await throughRuntime(&runtime);
    std::vector<double> rateRuntime, rateDirect;
    for (int i = 0; i < 9; ++i) {
        const Timing d = co_await direct(&network, server.baseUrl(), server.apiKey());
        const Timing r = co_await throughRuntime(&runtime);
        rateDirect.push_back(double(d.pieces) / (d.totalMs / 1000.0));
        rateRuntime.push_back(double(r.pieces) / (r.totalMs / 1000.0));
        if (d.pieces != pieces || r.pieces != pieces)
            std::printf("  (short read: direct %ld, runtime %ld)\n", d.pieces, r.pieces);
    }
    const double md = percentile(rateDirect, 0.5), mr = percentile(rateRuntime, 0.5);
    std::printf("long reply, %d tokens, median of 9:\n", pieces);
    std::printf("  direct HTTP : %.0f tokens/s\n", md);
    std::printf("  LLMRuntime  : %.0f tokens/s (%.1f%% of direct; aim: within 10%%)\n", mr, 100.0 * mr / md);

    runtime.release();
    co_await runtime.prepareToQuit();
    co_return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QString helper = QStringLiteral(VELMORA_HELPERS_DIR "/") + QLatin1StringView(LLMServer::kExecutableName);
    if (argc > 1)
        helper = QString::fromLocal8Bit(argv[1]);
    return runLoop(bench(helper));
}
