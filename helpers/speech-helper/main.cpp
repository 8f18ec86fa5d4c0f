// The stand-in speech helper. It answers the line-delimited JSON protocol (version 1) on
// standard input and output and transcribes deterministically from the audio it is asked for.
//
// Recognition: a "word" is a burst of samples whose magnitude is at least 0.01, preceded by a
// quieter sample; it is written "w" plus the burst's first magnitude in thousandths (a burst
// starting at 0.017 reads "w17"). A burst belongs to the range that holds its first sample,
// so any split of a recording into ranges gives the same words in the same order.
//
// Scripting: the model file, when it holds a JSON object, changes the behaviour:
//   "backend":    string reported in "loaded" (default "MTL0"; null leaves it out)
//   "text":       a fixed transcript for every range, instead of the audio's words
//   "load":       actions answering "load" (default: the "loaded" reply)
//   "transcribe": object mapping the 1-based number of a "transcribe" request to its actions
//   "transcribeDefault": actions for the other "transcribe" requests (default: the result)
//   "requestLog": a file to which every received request line is appended, from "load" on
//   "realTimeFactor": seconds of simulated engine work per second of audio, before each reply
// The start-up actions come from the environment variable VELMORA_SPEECH_HELPER_STARTUP
// (default: the "ready" reply). Actions are JSON objects, run in order:
//   {"reply": {...}}          one reply line; the strings "$id", "$text" and "$backend" are replaced
//   {"paddedReply": {...}, "length": n}  the same reply padded with a "pad" member to n bytes
//   {"result": true}          the complete result for the request
//   {"partial": status}       an "error" reply with that status and the first half of the words
//   {"working": n, "everyMs": ms}  n "working" lines
//   {"sleepMs": ms}, {"raw": "bytes"}, {"fill": n} (n bytes of "x"), {"exit": status},
//   {"ignoreTerm": true}      SIGTERM no longer ends the helper
//   {"closeInput": true}      closes standard input, so the application's next write fails
// Anything unreadable (a bad request, a missing sample file) is answered with an "error" reply.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr float kThreshold = 0.01f;

struct Request {
    QString id;
    QString text; // the transcript of the range, for "$text"
    std::vector<QString> words;
};

QJsonObject g_script;
bool g_loaded = false;
int g_transcribeCount = 0;
QString g_backend = QStringLiteral("MTL0");
bool g_hasBackend = true;

void writeBytes(const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeObject(const QJsonObject &o) {
    writeBytes(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
}

QJsonValue substitute(const QJsonValue &value, const Request &request) {
    if (value.isString()) {
        const QString s = value.toString();
        if (s == QLatin1String("$id"))
            return request.id;
        if (s == QLatin1String("$text"))
            return request.text;
        if (s == QLatin1String("$backend"))
            return g_hasBackend ? QJsonValue(g_backend) : QJsonValue(QJsonValue::Null);
        return value;
    }
    if (value.isObject()) {
        QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            it.value() = substitute(it.value(), request);
        return o;
    }
    return value;
}

QString joinWords(const std::vector<QString> &words, size_t count) {
    QString out;
    for (size_t i = 0; i < count && i < words.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += words[i];
    }
    return out;
}

void runActions(const QJsonArray &actions, const Request &request) {
    for (const QJsonValue &item : actions) {
        const QJsonObject a = item.toObject();
        if (a.contains(QLatin1String("reply"))) {
            writeObject(substitute(a.value(QLatin1String("reply")), request).toObject());
        } else if (a.contains(QLatin1String("paddedReply"))) {
            QJsonObject o = substitute(a.value(QLatin1String("paddedReply")), request).toObject();
            o.insert(QLatin1String("pad"), QString());
            const qsizetype base = QJsonDocument(o).toJson(QJsonDocument::Compact).size();
            const qsizetype want = qsizetype(a.value(QLatin1String("length")).toDouble());
            o.insert(QLatin1String("pad"), QString(std::max<qsizetype>(want - base, 0), QLatin1Char('x')));
            writeObject(o);
        } else if (a.contains(QLatin1String("result"))) {
            QJsonObject o{{"v", 1}, {"type", "result"}, {"id", request.id}, {"status", 0}, {"complete", true}};
            o.insert(QLatin1String("text"), request.text);
            writeObject(o);
        } else if (a.contains(QLatin1String("partial"))) {
            const qint64 status = qint64(a.value(QLatin1String("partial")).toDouble());
            QJsonObject o{{"v", 1}, {"type", "error"}, {"id", request.id}, {"complete", false}};
            o.insert(QLatin1String("status"), status);
            o.insert(QLatin1String("text"), joinWords(request.words, request.words.size() / 2));
            writeObject(o);
        } else if (a.contains(QLatin1String("working"))) {
            const int n = a.value(QLatin1String("working")).toInt();
            const int every = a.value(QLatin1String("everyMs")).toInt();
            for (int i = 0; i < n; ++i) {
                if (i && every > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(every));
                writeObject(QJsonObject{{"v", 1}, {"type", "working"}, {"id", request.id}});
            }
        } else if (a.contains(QLatin1String("sleepMs"))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(a.value(QLatin1String("sleepMs")).toInt()));
        } else if (a.contains(QLatin1String("raw"))) {
            writeBytes(a.value(QLatin1String("raw")).toString().toUtf8());
        } else if (a.contains(QLatin1String("fill"))) {
            writeBytes(QByteArray(qsizetype(a.value(QLatin1String("fill")).toDouble()), 'x'));
        } else if (a.contains(QLatin1String("exit"))) {
            std::fflush(stdout);
            std::_Exit(a.value(QLatin1String("exit")).toInt());
        } else if (a.contains(QLatin1String("ignoreTerm"))) {
            std::signal(SIGTERM, SIG_IGN);
        } else if (a.contains(QLatin1String("closeInput"))) {
            std::fclose(stdin);
        }
    }
}

void replyError(const QString &id, qint64 status, bool forTranscribe) {
    QJsonObject o{{"v", 1}, {"type", "error"}};
    if (!id.isEmpty())
        o.insert(QLatin1String("id"), id);
    o.insert(QLatin1String("status"), status);
    if (forTranscribe) {
        o.insert(QLatin1String("complete"), false);
        o.insert(QLatin1String("text"), QString());
    }
    writeObject(o);
}

// The words of samples [offset, offset + count) of a raw little-endian float file; false when
// the range cannot be read whole.
bool recognise(const QString &path, qint64 offset, qint64 count, std::vector<QString> &words) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 first = offset > 0 ? offset - 1 : 0; // one sample before, to see a burst that began earlier
    const qint64 total = offset + count - first;
    if (!file.seek(first * 4))
        return false;
    std::vector<float> samples(static_cast<size_t>(total));
    const qint64 want = total * 4;
    if (file.read(reinterpret_cast<char *>(samples.data()), want) != want)
        return false;
    bool previousLoud = offset > 0 && std::fabs(samples[0]) >= kThreshold;
    for (qint64 i = offset - first; i < total; ++i) {
        const float x = samples[size_t(i)];
        const bool loud = std::isfinite(x) && std::fabs(x) >= kThreshold;
        if (loud && !previousLoud)
            words.push_back(QStringLiteral("w%1").arg(std::lround(std::fabs(x) * 1000)));
        previousLoud = loud;
    }
    return true;
}

void handleLoad(const QJsonObject &request, const QByteArray &line) {
    const QString id = request.value(QLatin1String("id")).toString();
    QFile model(request.value(QLatin1String("path")).toString());
    if (!model.open(QIODevice::ReadOnly)) {
        replyError(id, 1, false);
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(model.readAll());
    g_script = doc.isObject() ? doc.object() : QJsonObject();
    if (g_script.contains(QLatin1String("backend"))) {
        g_hasBackend = g_script.value(QLatin1String("backend")).isString();
        g_backend = g_script.value(QLatin1String("backend")).toString();
    }
    const QString log = g_script.value(QLatin1String("requestLog")).toString();
    if (!log.isEmpty()) {
        QFile f(log);
        if (f.open(QIODevice::Append))
            f.write(line + '\n');
    }
    Request r{id, {}, {}};
    if (g_script.contains(QLatin1String("load"))) {
        runActions(g_script.value(QLatin1String("load")).toArray(), r);
    } else {
        QJsonObject o{{"v", 1}, {"type", "loaded"}, {"id", id}};
        if (g_hasBackend)
            o.insert(QLatin1String("backend"), g_backend);
        writeObject(o);
    }
    g_loaded = true;
}

void handleTranscribe(const QJsonObject &request, const QByteArray &line) {
    const QString id = request.value(QLatin1String("id")).toString();
    const QString log = g_script.value(QLatin1String("requestLog")).toString();
    if (!log.isEmpty()) {
        QFile f(log);
        if (f.open(QIODevice::Append))
            f.write(line + '\n');
    }
    if (!g_loaded) {
        replyError(id, 2, true);
        return;
    }
    ++g_transcribeCount;
    Request r{id, {}, {}};
    const qint64 offset = request.value(QLatin1String("offset")).toInteger(-1);
    const qint64 samples = request.value(QLatin1String("samples")).toInteger(0);
    if (offset < 0 || samples < 1 ||
        !recognise(request.value(QLatin1String("path")).toString(), offset, samples, r.words)) {
        replyError(id, 4, true);
        return;
    }
    if (g_script.contains(QLatin1String("text"))) {
        r.text = g_script.value(QLatin1String("text")).toString();
        r.words.clear();
        for (const QString &w : r.text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            r.words.push_back(w);
    } else {
        r.text = joinWords(r.words, r.words.size());
    }
    const double factor = g_script.value(QLatin1String("realTimeFactor")).toDouble();
    if (factor > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(double(samples) / 16000.0 * factor));
    const QJsonObject numbered = g_script.value(QLatin1String("transcribe")).toObject();
    const QString key = QString::number(g_transcribeCount);
    if (numbered.contains(key))
        runActions(numbered.value(key).toArray(), r);
    else if (g_script.contains(QLatin1String("transcribeDefault")))
        runActions(g_script.value(QLatin1String("transcribeDefault")).toArray(), r);
    else
        runActions(QJsonArray{QJsonObject{{"result", true}}}, r);
}

} // namespace

int main() {
    const QByteArray startup = qgetenv("VELMORA_SPEECH_HELPER_STARTUP");
    const QJsonDocument startupDoc = QJsonDocument::fromJson(startup);
    if (startupDoc.isArray())
        runActions(startupDoc.array(), Request{});
    else
        writeObject(QJsonObject{{"v", 1}, {"type", "ready"}});

    std::string text;
    while (std::getline(std::cin, text)) {
        const QByteArray line = QByteArray::fromStdString(text);
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        const QJsonObject request = doc.object();
        const QString type = request.value(QLatin1String("type")).toString();
        if (!doc.isObject() || request.value(QLatin1String("v")).toInt() != 1) {
            replyError(request.value(QLatin1String("id")).toString(), 100, false);
        } else if (type == QLatin1String("load")) {
            handleLoad(request, line);
        } else if (type == QLatin1String("transcribe")) {
            handleTranscribe(request, line);
        } else {
            replyError(request.value(QLatin1String("id")).toString(), 101, false);
        }
    }
    return 0;
}
