#pragma once

// A private PulseAudio server for the sound tests, with one null sink ("velmora_test", the
// default output) and a socket in a temporary folder. Higher layers' tests use it too.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace velmora::test {

class PulseServer {
public:
    static bool isInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty(); }
    static QString sinkName() { return QStringLiteral("velmora_test"); }

    PulseServer() {
        if (!isInstalled() || !m_dir.isValid())
            return;
        const QString socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            environment.insert(QString::fromLatin1(name), m_dir.path());
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("pulseaudio")));
        m_process.setArguments({QStringLiteral("--daemonize=no"), QStringLiteral("-n"),
                                QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                                QStringLiteral("--disable-shm=yes"), QStringLiteral("--log-target=stderr"),
                                QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                                QStringLiteral("--load=module-null-sink sink_name=") + sinkName()});
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        // Ready once its socket takes a connection; given up after 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_process.state() == QProcess::Running && std::chrono::steady_clock::now() < deadline) {
            if (accepts(socket)) {
                m_address = QStringLiteral("unix:") + socket;
                return;
            }
            m_process.waitForFinished(25);
        }
    }
    ~PulseServer() { stop(); }
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Empty when the server did not start.
    const QString &address() const { return m_address; }
    // Ends the server, as a sound server that goes away does.
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    static bool accepts(const QString &path) {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
};

} // namespace velmora::test
