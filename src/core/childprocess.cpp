#include "core/childprocess.h"

#include "core/boottimetimer.h"
#include "core/error.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace velmora {

namespace {

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int decodeStatus(int raw) {
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return WTERMSIG(raw);
    return raw;
}

// Pipes made for one spawn; whatever is not handed over is closed when it goes.
struct Pipes {
    int fds[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
    ~Pipes() {
        for (auto &pair : fds) {
            closeFd(pair[0]);
            closeFd(pair[1]);
        }
    }
};

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

ChildProcess::ChildProcess(const Options &options, QObject *parent) : QObject(parent) {
    const Stream streams[3] = {options.input, options.output, options.errors};
    Pipes pipes;
    SpawnSetup setup;
    for (int fd = 0; fd < 3; ++fd) {
        if (streams[fd] == Stream::Pipe) {
            // Close-on-exec, so only the copy placed at the child's own descriptor survives.
            if (::pipe2(pipes.fds[fd], O_CLOEXEC) != 0)
                throw PosixError(errno);
            const int childEnd = fd == STDIN_FILENO ? pipes.fds[fd][0] : pipes.fds[fd][1];
            posix_spawn_file_actions_adddup2(&setup.actions, childEnd, fd);
        } else {
            posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY,
                                             0);
        }
    }
    if (options.input == Stream::Pipe && options.inputCapacity > 0)
        ::fcntl(pipes.fds[0][1], F_SETPIPE_SZ, options.inputCapacity);

    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    const QByteArray program = QFile::encodeName(options.program);
    if (program.isEmpty())
        throw PosixError(ENOENT);
    std::vector<QByteArray> argumentBytes{program};
    for (const QString &argument : options.arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environmentBytes;
    std::vector<char *> envp;
    if (options.environment) {
        for (const QString &entry : *options.environment)
            environmentBytes.push_back(entry.toLocal8Bit());
        for (auto &bytes : environmentBytes)
            envp.push_back(bytes.data());
        envp.push_back(nullptr);
    }

    pid_t pid = 0;
    const int result = posix_spawn(&pid, program.constData(), &setup.actions, &setup.attributes, argv.data(),
                                   options.environment ? envp.data() : environ);
    if (result != 0)
        throw PosixError(result);
    m_pid = pid;
    m_pidfd = int(::syscall(SYS_pidfd_open, pid, 0));

    if (options.input == Stream::Pipe)
        std::swap(m_input, pipes.fds[0][1]);
    if (options.output == Stream::Pipe)
        std::swap(m_output, pipes.fds[1][0]);
    if (options.errors == Stream::Pipe)
        std::swap(m_errors, pipes.fds[2][0]);
    for (int fd : {m_output, m_errors})
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    if (m_pidfd >= 0) {
        m_exitNotifier = std::make_unique<QSocketNotifier>(m_pidfd, QSocketNotifier::Read);
        connect(m_exitNotifier.get(), &QSocketNotifier::activated, this, &ChildProcess::checkExit);
    } else {
        m_exitPoll = std::make_unique<QTimer>();
        connect(m_exitPoll.get(), &QTimer::timeout, this, &ChildProcess::checkExit);
        m_exitPoll->start(20);
    }
}

ChildProcess::~ChildProcess() {
    closeInput();
    closeOutput();
    closeErrors();
    m_exitNotifier.reset();
    m_exitPoll.reset();
    if (!m_reaped) {
        sendSignal(SIGKILL);
        int raw = 0;
        while (::waitpid(pid_t(m_pid), &raw, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
    }
    closeFd(m_pidfd);
}

bool ChildProcess::isRunning() const {
    if (m_reaped)
        return false;
    // Looked at without reaping, so the id stays this child's until checkExit() collects it.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == 0;
}

void ChildProcess::closeInput() {
    closeFd(m_input);
}

void ChildProcess::closeOutput() {
    closeFd(m_output);
}

void ChildProcess::closeErrors() {
    closeFd(m_errors);
}

void ChildProcess::terminate(std::chrono::nanoseconds grace) {
    if (m_reaped)
        return;
    sendSignal(SIGTERM);
    if (m_killTimer)
        return;
    m_killTimer = std::make_unique<BoottimeTimer>();
    connect(m_killTimer.get(), &BoottimeTimer::timeout, this, &ChildProcess::kill);
    m_killTimer->start(grace);
}

void ChildProcess::kill() {
    sendSignal(SIGKILL);
}

void ChildProcess::sendSignal(int signal) {
    // A reaped child's id may already belong to another process; and 0 would signal our group.
    if (m_reaped || m_pid <= 0)
        return;
    if (m_pidfd >= 0)
        ::syscall(SYS_pidfd_send_signal, m_pidfd, signal, nullptr, 0);
    else
        ::kill(pid_t(m_pid), signal);
}

void ChildProcess::checkExit() {
    if (m_reaped)
        return;
    int raw = 0;
    const pid_t result = ::waitpid(pid_t(m_pid), &raw, WNOHANG);
    if (result == 0 || (result < 0 && errno == EINTR))
        return;
    m_reaped = true;
    const int status = result == pid_t(m_pid) ? decodeStatus(raw) : -1;
    m_status = status;
    if (m_exitNotifier)
        m_exitNotifier->setEnabled(false);
    if (m_exitPoll)
        m_exitPoll->stop();
    if (m_killTimer)
        m_killTimer->stop();
    // Reported on a later turn: output read before this turn has been delivered by then.
    QMetaObject::invokeMethod(
        this, [this, status] { emit exited(status); }, Qt::QueuedConnection);
}

} // namespace velmora
