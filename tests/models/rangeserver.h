#pragma once

// A small HTTP/1.1 server on 127.0.0.1 that serves one file with byte ranges, the way a model
// hub does, and lets a test change any answer to inject a fault. It runs on its own threads,
// one per connection, so the client under test sees real sockets.

#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::test {

class RangeServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::map<std::string, std::string> headers; // names in lower case
        std::optional<std::pair<long long, long long>> range;
        int number = 0; // 0 for the first request the server saw
    };

    struct Response {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        // When offset >= 0 the body is length bytes of the served file from offset.
        long long offset = -1;
        long long length = 0;
        // When >= 0 the connection is closed after this many body bytes (Content-Length still
        // announces the whole body; a chunked body lacks its last chunks).
        long long dropAfter = -1;
        // The body goes in chunks of "Transfer-Encoding: chunked" instead of with a length.
        bool chunked = false;
        // The connection is closed as soon as the request has been read, without any answer.
        bool closeWithoutAnswer = false;
    };

    // Returns the answer to send, or none for the honest one.
    using Handler = std::function<std::optional<Response>(const Request &)>;

    explicit RangeServer(QString filePath);
    ~RangeServer();
    RangeServer(const RangeServer &) = delete;
    RangeServer &operator=(const RangeServer &) = delete;

    int port() const { return m_port; }
    QUrl url(const QString &path = QStringLiteral("/model.bin")) const;
    void setHandler(Handler handler);

    // The answer of a well-behaved hub: 206 with "Content-Range" for a range, 200 otherwise.
    Response honest(const Request &request) const;
    long long fileSize() const { return m_size; }

    std::vector<Request> requests() const;
    int requestCount() const;
    int maxInFlight() const { return m_maxInFlight.load(); }

private:
    void acceptLoop();
    void serve(int fd);
    bool send(int fd, const Request &request, const Response &response);

    QString m_path;
    int m_fileFd = -1;
    long long m_size = 0;
    int m_listenFd = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    Handler m_handler;
    std::vector<Request> m_requests;
    std::vector<int> m_connections;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_maxInFlight{0};
};

// Writes a file of the given size with reproducible, non-repeating contents and returns its
// SHA-256 in lower-case hex.
QString writeSampleFile(const QString &path, long long size, unsigned seed = 1);

} // namespace velmora::test
