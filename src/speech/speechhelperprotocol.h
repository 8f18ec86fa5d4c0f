#pragma once

// The wire records of the speech helper conversation: one compact JSON object per line over
// the helper's standard input and output, version 1.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace velmora {

namespace SpeechHelperProtocol {
constexpr int kVersion = 1;
// Longest request object, without its line feed.
constexpr qsizetype kMaxRequestBytes = 65536;
// Longest reply line, without its line feed; also the most bytes held without a line feed.
constexpr qsizetype kMaxReplyBytes = 1048576;
constexpr qint64 kMaxSamples = 2147483647;
constexpr const char *kBackend = "MTL0";
} // namespace SpeechHelperProtocol

// A request to the helper. Members are written in this order; absent ones are left out.
struct SpeechHelperRequest {
    int v = SpeechHelperProtocol::kVersion;
    QString type;
    QString id;
    std::optional<QString> path;
    std::optional<qint64> offset;
    std::optional<qint64> samples;
    std::optional<QString> language;

    static SpeechHelperRequest load(const QString &id, const QString &modelPath);
    static SpeechHelperRequest transcribe(const QString &id, const QString &sampleFile, qint64 offset, qint64 samples,
                                          const QString &language);

    // Compact JSON without the line feed; forward slashes are escaped.
    QByteArray encode() const;
};

// A reply from the helper. Unknown members are ignored; optional members given as null are absent.
struct SpeechHelperResponse {
    qint64 v = 0;
    QString type;
    std::optional<QString> id;
    std::optional<QString> backend;
    std::optional<qint64> status;
    std::optional<QString> text;
    std::optional<bool> complete;

    // None when the line is not one JSON object with an integer "v" and a string "type", or a
    // listed member has another type.
    static std::optional<SpeechHelperResponse> decode(QByteArrayView line);
};

// Appends s as a JSON string literal (quotes included), escaping forward slashes too.
void appendJsonString(QByteArray &out, const QString &s);

} // namespace velmora
