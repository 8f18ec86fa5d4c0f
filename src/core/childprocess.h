#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace velmora {

class BoottimeTimer;

// One child process of the program, supervised from the thread that started it: the exit is
// noticed and reaped there and reported by exited(); terminate() asks with SIGTERM and ends it
// with SIGKILL after a grace period; destroying the object ends (SIGKILL) and reaps a child
// still running, so none outlives its owner. Signals only ever reach this child (through its
// pidfd where the kernel has one, and never once it has been reaped).
class ChildProcess : public QObject {
    Q_OBJECT
public:
    // What one of the child's standard streams is connected to.
    enum class Stream {
        Null, // /dev/null
        Pipe, // a pipe whose other end this object holds
    };

    struct Options {
        QString program;       // the executable's path
        QStringList arguments; // after argv[0], which is the program
        // "NAME=value" entries; none inherits this process's environment.
        std::optional<QStringList> environment;
        Stream input = Stream::Null;
        Stream output = Stream::Null;
        Stream errors = Stream::Null;
        // The input pipe's capacity in bytes (0 keeps the system's), so writes up to it never
        // wait for the child.
        int inputCapacity = 0;
    };

    // Starts the program with default signal handling and no blocked signals, whatever this
    // process ignores or blocks. Throws PosixError with the system's reason (ENOENT for a
    // missing program, EACCES for one that cannot be run).
    explicit ChildProcess(const Options &options, QObject *parent = nullptr);
    ~ChildProcess() override;

    qint64 processId() const { return m_pid; }
    // Whether the child is still running (it may have ended without being reaped yet).
    bool isRunning() const;
    // The status reported by exited(); none before.
    std::optional<int> exitStatus() const { return m_status; }

    // This side of the input pipe (blocking writes) and of the output and error pipes
    // (non-blocking reads); -1 when the stream is no pipe or has been closed.
    int inputFd() const { return m_input; }
    int outputFd() const { return m_output; }
    int errorsFd() const { return m_errors; }
    void closeInput();
    void closeOutput();
    void closeErrors();

    // SIGTERM now and SIGKILL after grace unless the child has ended; repeated calls keep the
    // first deadline.
    void terminate(std::chrono::nanoseconds grace);
    // SIGKILL now.
    void kill();

signals:
    // The child has ended: its exit code, or the number of the signal that ended it. Emitted
    // once, on a later turn than the one that reaped it; what it wrote before it ended may
    // still be waiting in the output pipe, so read that to its end here.
    void exited(int status);

private:
    void sendSignal(int signal);
    void checkExit();

    qint64 m_pid = 0;
    int m_pidfd = -1;
    bool m_reaped = false;
    std::optional<int> m_status;
    int m_input = -1;
    int m_output = -1;
    int m_errors = -1;
    std::unique_ptr<QSocketNotifier> m_exitNotifier; // on the pidfd
    std::unique_ptr<QTimer> m_exitPoll;              // where the kernel has no pidfds
    std::unique_ptr<BoottimeTimer> m_killTimer;
};

} // namespace velmora
