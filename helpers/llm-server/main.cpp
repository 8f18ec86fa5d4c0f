// llm-helper: a stand-in for the local language-model server.
//
// Started with the server's fixed command line and an environment of exactly LLAMA_API_KEY and
// LLAMA_SERVER_ROUTER_PORT, it serves GET /health and POST /v1/chat/completions (plain and
// streamed) on 127.0.0.1, checking the bearer key. What it answers is scripted by the model
// file: a JSON object with any of these keys (a file that is not such an object, like a real
// model, gives the defaults: echo the last message at once). Like the real server's parent
// expects, it keeps running while its standard input stays open and ends when it closes.
//   reply           text of the reply (default: the last message's content)
//   tokens          the reply as explicit pieces (default: the reply split after each space)
//   repeat          send the pieces this many times (default 1)
//   readyDelayMs    /health answers 503 for this long after start; negative = never ready
//   tokenDelayMs    pause before each streamed piece
//   stallMs         pause before answering a chat request at all
//   finishReason    finish reason of the reply (default "stop"); "" sends none
//   httpStatus      answer chat requests with this status instead (e.g. 500)
//   apiKey          expect this key instead of LLAMA_API_KEY (to provoke 401)
//   exitWhileLoading  the first N launches exit during loading (counted in <model>.count)
//   exitStatus      status of every scripted exit (default 7)
//   exitAfter       exit in the middle of a stream after N pieces
//   cutAfter        end the body after N pieces, without finish reason or end marker
//   dropMidLineAfter  after N pieces, send half a line and drop the connection
//   endlessLine     stream one "data:" line that never ends, until the client goes away
//   plainDropAfter  answer a plain request with its full Content-Length but drop the
//                   connection after this many bytes of the body
//   injectAfter / injectLine   write the raw line after N pieces (e.g. "data: {oops")
//   omitDone        end a finished stream without the "[DONE]" line
//   ignoreTerm      ignore SIGTERM
//   plainBody       answer plain requests with this raw body
//   recordTo        append one JSON line per launch (arguments, environment) to <path>.launches,
//                   each request body as one line to <path>.requests, a line per streamed piece
//                   sent to <path>.pieces and one per stream whose client went away to
//                   <path>.aborts

#include <httplib.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Script {
    std::optional<std::string> reply;
    std::vector<std::string> tokens;
    int repeat = 1;
    long readyDelayMs = 0;
    long tokenDelayMs = 0;
    long stallMs = 0;
    std::string finishReason = "stop";
    int httpStatus = 200;
    std::optional<std::string> apiKey;
    int exitWhileLoading = 0;
    int exitStatus = 7;
    long exitAfter = -1;
    long cutAfter = -1;
    long dropMidLineAfter = -1;
    bool endlessLine = false;
    long plainDropAfter = -1;
    long injectAfter = -1;
    std::string injectLine = "data: {oops";
    bool omitDone = false;
    bool ignoreTerm = false;
    std::optional<std::string> plainBody;
    std::string recordTo;
};

Script readScript(const std::string &path) {
    Script s;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return s;
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(1 << 20));
    if (!doc.isObject())
        return s;
    const QJsonObject o = doc.object();
    auto str = [&](const char *k, std::string &out) {
        if (o.contains(QLatin1String(k)))
            out = o.value(QLatin1String(k)).toString().toStdString();
    };
    auto num = [&](const char *k, auto &out) {
        if (o.contains(QLatin1String(k)))
            out = decltype(out + 0)(o.value(QLatin1String(k)).toDouble());
    };
    if (o.contains(QLatin1String("reply")))
        s.reply = o.value(QLatin1String("reply")).toString().toStdString();
    for (const auto &t : o.value(QLatin1String("tokens")).toArray())
        s.tokens.push_back(t.toString().toStdString());
    num("repeat", s.repeat);
    num("readyDelayMs", s.readyDelayMs);
    num("tokenDelayMs", s.tokenDelayMs);
    num("stallMs", s.stallMs);
    str("finishReason", s.finishReason);
    num("httpStatus", s.httpStatus);
    if (o.contains(QLatin1String("apiKey")))
        s.apiKey = o.value(QLatin1String("apiKey")).toString().toStdString();
    num("exitWhileLoading", s.exitWhileLoading);
    num("exitStatus", s.exitStatus);
    num("exitAfter", s.exitAfter);
    num("cutAfter", s.cutAfter);
    num("dropMidLineAfter", s.dropMidLineAfter);
    s.endlessLine = o.value(QLatin1String("endlessLine")).toBool();
    num("plainDropAfter", s.plainDropAfter);
    num("injectAfter", s.injectAfter);
    str("injectLine", s.injectLine);
    s.omitDone = o.value(QLatin1String("omitDone")).toBool();
    s.ignoreTerm = o.value(QLatin1String("ignoreTerm")).toBool();
    str("recordTo", s.recordTo);
    if (o.contains(QLatin1String("plainBody")))
        s.plainBody = o.value(QLatin1String("plainBody")).toString().toStdString();
    return s;
}

// The fixed command line: every argument but the two model paths and the port is checked.
bool parseArguments(int argc, char **argv, std::string &model, std::string &draft, int &port) {
    static const char *expected[] = {"--model",
                                     nullptr,
                                     "--spec-draft-model",
                                     nullptr,
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
                                     nullptr,
                                     "--no-webui",
                                     "--no-slots"};
    if (argc != 30)
        return false;
    for (int i = 0; i < 29; ++i) {
        if (expected[i] && std::string(argv[i + 1]) != expected[i])
            return false;
    }
    model = argv[2];
    draft = argv[4];
    char *end = nullptr;
    const long p = std::strtol(argv[27], &end, 10);
    if (*end != '\0' || p <= 0 || p > 65535)
        return false;
    port = int(p);
    return true;
}

std::string jsonString(const std::string &text) {
    const QByteArray quoted = QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
    return quoted.mid(1, quoted.size() - 2).toStdString();
}

std::vector<std::string> splitPieces(const std::string &text) {
    std::vector<std::string> pieces;
    std::string current;
    for (char c : text) {
        current += c;
        if (c == ' ') {
            pieces.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
        pieces.push_back(current);
    return pieces;
}

void pause(long ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::mutex recordMutex;

// Appends one line to <recordTo><suffix>.
void record(const Script &script, const char *suffix, const std::string &line) {
    if (script.recordTo.empty())
        return;
    std::lock_guard lock(recordMutex);
    if (FILE *f = std::fopen((script.recordTo + suffix).c_str(), "a")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

void recordLaunch(const Script &script, int argc, char **argv) {
    if (script.recordTo.empty())
        return;
    QJsonArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QJsonArray environment;
    for (char **e = environ; *e; ++e)
        environment.append(QString::fromLocal8Bit(*e));
    QFile file(QString::fromStdString(script.recordTo + ".launches"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("arguments"), arguments},
                                             {QStringLiteral("environment"), environment}})
                       .toJson(QJsonDocument::Compact) +
                   '\n');
}

// Counts this launch in <model>.count and says whether it is one of those that exit.
bool exitsWhileLoading(const Script &script, const std::string &model) {
    if (script.exitWhileLoading <= 0)
        return false;
    const std::string counter = model + ".count";
    int launches = 0;
    if (FILE *f = std::fopen(counter.c_str(), "r")) {
        if (std::fscanf(f, "%d", &launches) != 1)
            launches = 0;
        std::fclose(f);
    }
    if (FILE *f = std::fopen(counter.c_str(), "w")) {
        std::fprintf(f, "%d\n", launches + 1);
        std::fclose(f);
    }
    return launches < script.exitWhileLoading;
}

std::string chunk(const std::string &content, const std::string &finishReason) {
    std::string delta = content.empty() ? "{}" : "{\"content\":" + jsonString(content) + "}";
    const std::string finish = finishReason.empty() ? "null" : jsonString(finishReason);
    return "data: {\"choices\":[{\"index\":0,\"delta\":" + delta + ",\"finish_reason\":" + finish + "}]}\n\n";
}

} // namespace

int main(int argc, char **argv) {
    std::string model, draft;
    int port = 0;
    if (!parseArguments(argc, argv, model, draft, port)) {
        std::fprintf(stderr, "llm-helper: unexpected command line\n");
        return 64;
    }
    const char *key = std::getenv("LLAMA_API_KEY");
    const char *routerPort = std::getenv("LLAMA_SERVER_ROUTER_PORT");
    int variables = 0;
    for (char **e = environ; *e; ++e)
        ++variables;
    if (!key || !*key || !routerPort || std::string(routerPort) != "0" || variables != 2) {
        std::fprintf(stderr, "llm-helper: unexpected environment\n");
        return 65;
    }
    if (access(model.c_str(), R_OK) != 0 || access(draft.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "llm-helper: model files not readable\n");
        return 66;
    }

    const Script script = readScript(model);
    // Before the launch is recorded, so a test that saw the record knows SIGTERM is ignored.
    if (script.ignoreTerm)
        std::signal(SIGTERM, SIG_IGN);
    recordLaunch(script, argc, argv);
    if (exitsWhileLoading(script, model)) {
        pause(50);
        std::_Exit(script.exitStatus);
    }

    // The application holds our standard input open for our whole life: when it goes away
    // (even by a crash), end too rather than linger as an orphan.
    std::thread([] {
        char byte;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        std::_Exit(0);
    }).detach();

    const std::string expectedAuth = "Bearer " + script.apiKey.value_or(key);
    const auto started = std::chrono::steady_clock::now();
    auto isReady = [&] {
        if (script.readyDelayMs < 0)
            return false;
        return std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(script.readyDelayMs);
    };

    httplib::Server server;
    // Each streamed piece goes out at once, as a generating server sends it.
    server.set_tcp_nodelay(true);
    server.Get("/health", [&](const httplib::Request &, httplib::Response &res) {
        if (isReady()) {
            res.set_content("{\"status\":\"ok\"}", "application/json");
        } else {
            res.status = 503;
            res.set_content("{\"error\":{\"message\":\"Loading model\"}}", "application/json");
        }
    });

    server.Post("/v1/chat/completions", [&](const httplib::Request &req, httplib::Response &res) {
        if (req.get_header_value("Authorization") != expectedAuth) {
            res.status = 401;
            res.set_content("{\"error\":{\"message\":\"Invalid API Key\"}}", "application/json");
            return;
        }
        record(script, ".requests", req.body);
        if (!isReady()) {
            res.status = 503;
            return;
        }
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(req.body));
        const QJsonObject body = doc.object();
        const QJsonArray messages = body.value(QLatin1String("messages")).toArray();
        if (!doc.isObject() || messages.isEmpty()) {
            res.status = 400;
            res.set_content("{\"error\":{\"message\":\"messages required\"}}", "application/json");
            return;
        }
        pause(script.stallMs);
        if (script.httpStatus != 200) {
            res.status = script.httpStatus;
            res.set_content("{\"error\":{\"message\":\"scripted failure\"}}", "application/json");
            return;
        }

        long promptTokens = 0;
        for (const auto &m : messages)
            promptTokens +=
                long(splitPieces(m.toObject().value(QLatin1String("content")).toString().toStdString()).size());
        const std::string reply =
            script.reply.value_or(messages.last().toObject().value(QLatin1String("content")).toString().toStdString());
        std::vector<std::string> once = script.tokens.empty() ? splitPieces(reply) : script.tokens;
        std::vector<std::string> pieces;
        for (int r = 0; r < std::max(1, script.repeat); ++r)
            pieces.insert(pieces.end(), once.begin(), once.end());
        const bool stream = body.value(QLatin1String("stream")).toBool();
        const bool usage =
            body.value(QLatin1String("stream_options")).toObject().value(QLatin1String("include_usage")).toBool();
        const std::string usageJson = "{\"prompt_tokens\":" + std::to_string(promptTokens) +
                                      ",\"completion_tokens\":" + std::to_string(pieces.size()) + "}";

        if (!stream) {
            std::string all;
            for (const auto &p : pieces)
                all += p;
            const std::string finish =
                script.finishReason.empty() ? "" : ",\"finish_reason\":" + jsonString(script.finishReason);
            const std::string content = script.plainBody.value_or(
                "{\"choices\":[{\"index\":0,\"message\":{\"role\":\"assistant\",\"content\":" + jsonString(all) + "}" +
                finish + "}],\"usage\":" + usageJson + "}");
            if (script.plainDropAfter < 0) {
                res.set_content(content, "application/json");
                return;
            }
            // The full length is announced, then the connection goes after part of the body.
            res.set_content_provider(content.size(), "application/json",
                                     [content, cut = std::min(size_t(script.plainDropAfter), content.size())](
                                         size_t, size_t, httplib::DataSink &sink) {
                                         // In pieces, as a server writes a body it produces.
                                         for (size_t at = 0; at < cut; at += 8000) {
                                             if (!sink.write(content.data() + at, std::min<size_t>(8000, cut - at)))
                                                 break;
                                         }
                                         return false;
                                     });
            return;
        }

        res.set_chunked_content_provider("text/event-stream",
                                         [&script, pieces, usage, usageJson](size_t, httplib::DataSink &sink) {
                                             auto send = [&](const std::string &text) {
                                                 if (sink.write(text.data(), text.size()))
                                                     return true;
                                                 record(script, ".aborts", "aborted");
                                                 return false;
                                             };
                                             if (script.endlessLine) {
                                                 const std::string block(65536, 'a');
                                                 if (!send("data: "))
                                                     return false;
                                                 while (send(block)) {
                                                 }
                                                 return false;
                                             }
                                             // What happens before piece i (i == the number of pieces: before the end);
                                             // false when the stream is over.
                                             auto before = [&](long i) {
                                                 if (i == script.exitAfter)
                                                     std::_Exit(script.exitStatus);
                                                 if (i == script.cutAfter) {
                                                     sink.done();
                                                     return false;
                                                 }
                                                 if (i == script.dropMidLineAfter) {
                                                     const std::string line = chunk("half", {});
                                                     send(line.substr(0, line.size() / 2));
                                                     return false;
                                                 }
                                                 if (i == script.injectAfter && !send(script.injectLine + "\n\n"))
                                                     return false;
                                                 return true;
                                             };
                                             for (size_t i = 0; i < pieces.size(); ++i) {
                                                 if (!before(long(i)))
                                                     return long(i) == script.cutAfter;
                                                 pause(script.tokenDelayMs);
                                                 if (!send(chunk(pieces[i], {})))
                                                     return false;
                                                 record(script, ".pieces", std::to_string(i));
                                             }
                                             if (!before(long(pieces.size())))
                                                 return long(pieces.size()) == script.cutAfter;
                                             send(chunk({}, script.finishReason));
                                             if (usage)
                                                 send("data: {\"choices\":[],\"usage\":" + usageJson + "}\n\n");
                                             if (!script.omitDone)
                                                 send("data: [DONE]\n\n");
                                             sink.done();
                                             return true;
                                         });
    });

    if (!server.listen("127.0.0.1", port)) {
        std::fprintf(stderr, "llm-helper: cannot listen on port %d\n", port);
        return 69;
    }
    return 0;
}
