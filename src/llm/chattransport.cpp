// The HTTP side of the server: plain and streamed chat requests over loopback.

#include "llm/llmserver.h"
#include "platform/networkreply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace velmora {

namespace {

std::optional<int> httpStatus(QNetworkReply *reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

// A streamed reply's line is one small JSON chunk; a line past this bound is no chunk at all
// (and waiting for its end would let an endless line hold memory and the main thread).
constexpr qsizetype kMaxLineBytes = 1 << 20;

// Reads one streamed reply line by line and hands its events to the stream. Deletes itself
// when the transfer has ended.
class StreamReader : public QObject {
public:
    StreamReader(QNetworkReply *reply, LLMEventStream::Producer producer)
        : m_reply(reply), m_producer(std::move(producer)) {
        connect(reply, &QNetworkReply::readyRead, this, &StreamReader::onReadyRead);
        connect(reply, &QNetworkReply::finished, this, &StreamReader::onFinished);
        // A manager that goes away takes its replies with it.
        connect(reply, &QObject::destroyed, this, [this] {
            m_reply = nullptr;
            end(std::make_exception_ptr(LLMServerError::exited()));
        });
        m_cancelLink = m_producer.token().onCancelled([this] { end(std::make_exception_ptr(CancelledError())); });
    }

private:
    // False once the response head said anything but 200 (the stream has then ended).
    bool headAccepted() {
        if (m_headSeen)
            return true;
        const auto status = httpStatus(m_reply);
        if (!status)
            return true; // no head yet; the transfer's outcome decides
        m_headSeen = true;
        if (*status != 200) {
            end(std::make_exception_ptr(LLMServerError::http(*status)));
            return false;
        }
        return true;
    }

    // Feeds every complete line received so far; false once the stream has ended. A line without
    // its terminator waits for more bytes and is never decoded on its own: the body may have been
    // cut in its middle.
    bool feedLines() {
        const QByteArray data = m_reply->readAll();
        m_received += data.size();
        m_buffer += data;
        for (;;) {
            // Only the bytes not searched before: an endless line costs its length once.
            const qsizetype newline = m_buffer.indexOf('\n', m_searched);
            const qsizetype lineEnd = newline < 0 ? m_buffer.size() : newline;
            if (lineEnd - m_lineStart > kMaxLineBytes) {
                end(std::make_exception_ptr(LLMServerError::protocolViolation()));
                return false;
            }
            if (newline < 0) {
                m_searched = m_buffer.size();
                break;
            }
            QByteArrayView line(m_buffer.constData() + m_lineStart, newline - m_lineStart);
            if (line.endsWith('\r'))
                line.chop(1);
            m_lineStart = m_searched = newline + 1;
            try {
                if (auto piece = m_decoder.feed(line))
                    m_producer.yield(LLMStreamEvent::makeText(std::move(*piece)));
            } catch (...) {
                end(std::current_exception());
                return false;
            }
            if (m_decoder.isDone) {
                endAfterBody(true);
                return false;
            }
        }
        if (m_lineStart > 0) {
            m_buffer.remove(0, m_lineStart);
            m_searched -= m_lineStart;
            m_lineStart = 0;
        }
        return true;
    }

    void onReadyRead() {
        if (m_ended || !headAccepted())
            return;
        feedLines();
    }

    void onFinished() {
        if (m_ended)
            return;
        if (!httpStatus(m_reply)) {
            // Refused, reset or timed out before any answer.
            end(std::make_exception_ptr(LLMServerError::exited()));
            return;
        }
        if (!headAccepted() || !feedLines())
            return;
        if (bodyCutShort(*m_reply, m_received)) {
            // The server went away or the transfer timed out in the middle of the body.
            end(std::make_exception_ptr(LLMServerError::exited()));
            return;
        }
        endAfterBody(false);
    }

    // The end rules: a finish reason makes a finished reply, with or without the marker.
    void endAfterBody(bool sawDone) {
        if (m_decoder.finishReason) {
            m_producer.yield(LLMStreamEvent::makeFinished(m_decoder.reply()));
            end(nullptr);
        } else if (sawDone) {
            end(std::make_exception_ptr(LLMServerError::protocolViolation()));
        } else {
            end(std::make_exception_ptr(LLMServerError::exited()));
        }
    }

    void end(std::exception_ptr error) {
        if (m_ended)
            return;
        m_ended = true;
        if (error)
            m_producer.fail(error);
        else
            m_producer.finish();
        if (m_reply) {
            m_reply->disconnect(this);
            if (m_reply->isFinished()) {
                m_reply->deleteLater();
            } else if (!error && m_decoder.isDone) {
                // Only the body's last bytes are left after the end marker: let the transfer
                // finish so the connection is kept for the next request.
                QNetworkReply *reply = m_reply;
                connect(reply, &QNetworkReply::readyRead, reply, [reply] { reply->readAll(); });
                connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            } else {
                m_reply->abort();
                m_reply->deleteLater();
            }
            m_reply = nullptr;
        }
        m_cancelLink.reset();
        deleteLater();
    }

    QNetworkReply *m_reply;
    LLMEventStream::Producer m_producer;
    CancellationRegistration m_cancelLink;
    LLMStreamDecoder m_decoder;
    QByteArray m_buffer;
    qsizetype m_lineStart = 0; // where the line being read begins in m_buffer
    qsizetype m_searched = 0;  // m_buffer before this holds no newline of that line
    qint64 m_received = 0;
    bool m_headSeen = false;
    bool m_ended = false;
};

} // namespace

LLMServer::PreparedRequest LLMServer::chatRequest(const LLMChatRequest &request) const {
    if (!m_ready || m_baseUrl.isEmpty())
        throw LLMServerError::unavailable();
    QNetworkRequest http(QUrl(m_baseUrl.toString() + QStringLiteral("/v1/chat/completions")));
    http.setTransferTimeout(int(m_timings.requestTimeout.count()));
    http.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    http.setRawHeader(QByteArrayLiteral("Authorization"), "Bearer " + m_apiKey.toUtf8());
    http.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return {http, request.encode()};
}

std::exception_ptr LLMServer::mapTransportError(std::exception_ptr error, const CancellationToken &token) {
    if (token.isCancelled() || isCancellation(error))
        return std::make_exception_ptr(CancelledError());
    try {
        std::rethrow_exception(error);
    } catch (const LLMServerError &) {
        return error;
    } catch (...) {
        return std::make_exception_ptr(LLMServerError::exited());
    }
}

QCoro::Task<LLMChatReply> LLMServer::complete(LLMChatRequest request, CancellationToken token) {
    const PreparedRequest prepared = chatRequest(request);
    token.throwIfCancelled();
    QPointer<QNetworkReply> reply = m_network->post(prepared.request, prepared.body);
    bool cancelled = false;
    {
        auto link = token.onCancelled([&cancelled, reply] {
            cancelled = true;
            if (reply)
                reply->abort();
        });
        co_await replyFinished(reply);
    }
    if (reply)
        reply->deleteLater();
    if (cancelled || token.isCancelled())
        throw CancelledError();
    if (!reply)
        throw LLMServerError::exited();
    const auto status = httpStatus(reply);
    if (!status)
        throw LLMServerError::exited(); // refused, reset or timed out
    if (*status != 200)
        throw LLMServerError::http(*status);
    const QByteArray body = reply->readAll();
    if (bodyCutShort(*reply, body.size()))
        throw LLMServerError::exited();
    try {
        co_return LLMChatReply::fromData(body);
    } catch (...) {
        throw LLMServerError::protocolViolation();
    }
}

LLMEventStream LLMServer::stream(LLMChatRequest request) {
    request.stream = true;
    auto [events, producer] = LLMEventStream::make();
    std::optional<PreparedRequest> prepared;
    try {
        prepared = chatRequest(request);
    } catch (...) {
        producer.fail(mapTransportError(std::current_exception()));
        return std::move(events);
    }
    QNetworkReply *reply = m_network->post(prepared->request, prepared->body);
    new StreamReader(reply, producer);
    return std::move(events);
}

} // namespace velmora
