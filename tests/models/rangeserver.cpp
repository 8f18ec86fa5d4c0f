#include "rangeserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora::test {

namespace {

std::string lower(std::string s) {
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string &s) {
    const auto begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    const auto end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

bool sendAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

const char *reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

QString writeSampleFile(const QString &path, long long size, unsigned seed) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write sample file");
    std::mt19937_64 random(seed);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(1 << 20, Qt::Uninitialized);
    long long left = size;
    while (left > 0) {
        const int n = int(std::min<long long>(left, block.size()));
        auto *words = reinterpret_cast<quint64 *>(block.data());
        for (int i = 0; i < (n + 7) / 8; ++i)
            words[i] = random();
        file.write(block.constData(), n);
        hash.addData(QByteArrayView(block.constData(), n));
        left -= n;
    }
    return QString::fromLatin1(hash.result().toHex());
}

RangeServer::RangeServer(QString filePath) : m_path(std::move(filePath)) {
    m_fileFd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fileFd < 0)
        throw std::runtime_error("cannot open served file");
    m_size = ::lseek(m_fileFd, 0, SEEK_END);
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 64) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

RangeServer::~RangeServer() {
    m_stopping = true;
    [[maybe_unused]] auto n = ::write(m_wake[1], "x", 1);
    m_acceptThread.join();
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_connections)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto &t : m_threads)
        t.join();
    for (int fd : m_connections)
        ::close(fd);
    ::close(m_listenFd);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_fileFd);
}

QUrl RangeServer::url(const QString &path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void RangeServer::setHandler(Handler handler) {
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<RangeServer::Request> RangeServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int RangeServer::requestCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_requests.size());
}

RangeServer::Response RangeServer::honest(const Request &request) const {
    Response r;
    if (!request.range) {
        r.status = 200;
        r.offset = 0;
        r.length = m_size;
        return r;
    }
    const long long first = request.range->first;
    const long long last = std::min(request.range->second, m_size - 1);
    if (first >= m_size || last < first) {
        r.status = 416;
        r.headers.emplace_back("Content-Range", "bytes */" + std::to_string(m_size));
        return r;
    }
    r.status = 206;
    r.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                                std::to_string(m_size));
    r.offset = first;
    r.length = last - first + 1;
    return r;
}

void RangeServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (m_stopping || (fds[1].revents & POLLIN))
            return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_connections.push_back(fd);
        m_threads.emplace_back([this, fd] { serve(fd); });
    }
}

void RangeServer::serve(int fd) {
    std::string buffer;
    char chunk[8192];
    for (;;) {
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0 || m_stopping) {
                ::shutdown(fd, SHUT_RDWR);
                return; // the descriptor is closed by whoever shut the server down, or below
            }
            buffer.append(chunk, size_t(n));
        }
        const std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);

        Request request;
        size_t lineEnd = head.find("\r\n");
        const std::string first = head.substr(0, lineEnd);
        const auto sp1 = first.find(' ');
        const auto sp2 = first.find(' ', sp1 + 1);
        request.method = first.substr(0, sp1);
        request.path = first.substr(sp1 + 1, sp2 - sp1 - 1);
        size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (pos < head.size()) {
            size_t next = head.find("\r\n", pos);
            if (next == std::string::npos)
                next = head.size();
            const std::string line = head.substr(pos, next - pos);
            const auto colon = line.find(':');
            if (colon != std::string::npos)
                request.headers[lower(trim(line.substr(0, colon)))] = trim(line.substr(colon + 1));
            pos = next + 2;
        }
        if (auto it = request.headers.find("range"); it != request.headers.end()) {
            long long a = 0, b = 0;
            if (std::sscanf(it->second.c_str(), "bytes=%lld-%lld", &a, &b) == 2)
                request.range = std::make_pair(a, b);
        }

        Handler handler;
        {
            std::lock_guard lock(m_mutex);
            request.number = int(m_requests.size());
            m_requests.push_back(request);
            handler = m_handler;
        }
        const int now = ++m_inFlight;
        int seen = m_maxInFlight.load();
        while (now > seen && !m_maxInFlight.compare_exchange_weak(seen, now)) {
        }
        std::optional<Response> custom;
        if (handler)
            custom = handler(request);
        const bool keep = send(fd, request, custom ? *custom : honest(request));
        --m_inFlight;
        if (!keep) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
    }
}

bool RangeServer::send(int fd, const Request &, const Response &response) {
    if (response.closeWithoutAnswer)
        return false;
    const long long bodyLength = response.offset >= 0 ? response.length : (long long)response.body.size();
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    bool hasLength = false;
    for (const auto &[name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
        hasLength = hasLength || lower(name) == "content-length";
    }
    if (response.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (!hasLength)
        head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    head += response.dropAfter >= 0 ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    head += "\r\n";
    if (!sendAll(fd, head.data(), head.size()))
        return false;

    const long long toSend = response.dropAfter >= 0 ? std::min(response.dropAfter, bodyLength) : bodyLength;
    // Sends body bytes [from, from + count) as they are, from the file or the text.
    auto sendBody = [&](long long from, long long count) {
        if (response.offset < 0)
            return sendAll(fd, response.body.data() + from, size_t(count));
        off_t offset = response.offset + from;
        while (count > 0) {
            const ssize_t n = ::sendfile(fd, m_fileFd, &offset, size_t(std::min<long long>(count, 1 << 24)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            count -= n;
        }
        return true;
    };
    if (!response.chunked) {
        if (!sendBody(0, toSend))
            return false;
        return response.dropAfter < 0;
    }
    constexpr long long kChunk = 16384;
    for (long long at = 0; at < bodyLength; at += kChunk) {
        const long long size = std::min(kChunk, bodyLength - at);
        char sizeLine[32];
        const int n = std::snprintf(sizeLine, sizeof sizeLine, "%llx\r\n", size);
        if (!sendAll(fd, sizeLine, size_t(n)) || !sendBody(at, std::min(size, toSend - at)))
            return false;
        if (at + size > toSend)
            return false; // cut in the middle of this chunk
        if (!sendAll(fd, "\r\n", 2))
            return false;
    }
    return sendAll(fd, "0\r\n\r\n", 5) && response.dropAfter < 0;
}

} // namespace velmora::test
