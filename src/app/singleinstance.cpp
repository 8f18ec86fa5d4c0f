#include "app/singleinstance.h"

#include "core/paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace velmora {

namespace {
constexpr QByteArrayView kActivate = "activate\n";
constexpr QByteArrayView kAcknowledge = "ok\n";
constexpr QByteArrayView kQuitting = "quitting\n";
} // namespace

QString SingleInstance::defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime;
    return QDir::tempPath();
}

SingleInstance::SingleInstance(QString folder, QObject *parent) : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

QString SingleInstance::lockPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kBundleIdentifier) + QStringLiteral("-") +
           QString::number(::getuid()) + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kBundleIdentifier) + QStringLiteral("-") +
           QString::number(::getuid()) + QStringLiteral(".socket");
}

SingleInstance::Outcome SingleInstance::enforce(std::chrono::milliseconds wait) {
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Only a lock whose process is gone is stale, never one that is merely old.
    m_lock->setStaleLockTime(0);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        if (m_lock->tryLock(0)) {
            listen();
            return Outcome::First;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            // The folder is unusable: running a second copy is better than not running at all.
            return Outcome::First;
        }
        const Answer answer = askRunningCopyToActivate();
        if (answer == Answer::Activated)
            return Outcome::AnotherIsRunning;
        if (elapsed.elapsed() >= wait.count())
            return Outcome::AnotherIsRunning; // a copy holds the lock but never answers
        // The other copy took the lock and is about to listen, or is quitting and will
        // release the lock: this copy then takes over.
        QThread::msleep(answer == Answer::Quitting ? 100 : 25);
    }
}

bool SingleInstance::listen() {
    // A socket file left by a crashed copy would make listen() fail; the lock makes it ours.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath()))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine(64);
                const QByteArrayView answer = m_terminating ? kQuitting : kAcknowledge;
                socket->write(answer.data(), answer.size());
                socket->flush();
                socket->disconnectFromServer();
                if (line == kActivate && !m_terminating)
                    emit activationRequested();
            });
        }
    });
    return true;
}

SingleInstance::Answer SingleInstance::askRunningCopyToActivate() {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return Answer::None;
    socket.write(kActivate.data(), kActivate.size());
    if (!socket.waitForBytesWritten(1000))
        return Answer::None;
    // The answer says the request reached a copy that runs its event loop.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(2000))
            return Answer::None;
    }
    const QByteArray line = socket.readLine(64);
    if (line == kAcknowledge)
        return Answer::Activated;
    return line == kQuitting ? Answer::Quitting : Answer::None;
}

} // namespace velmora
