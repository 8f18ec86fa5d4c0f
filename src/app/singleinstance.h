#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QLocalServer;

namespace velmora {

// One running copy per user. The first copy holds a lock file and listens on a local socket
// beside it; a later copy finds the lock taken, asks the first one over the socket to bring
// its window forward, and ends. A lock left by a crashed copy is taken over (QLockFile sees
// that its process is gone). Two copies started at the same moment: only one gets the lock,
// and the other waits until the winner listens, so exactly one survives.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome { First, AnotherIsRunning };

    // The lock and socket live in folder: $XDG_RUNTIME_DIR, else the temporary folder.
    static QString defaultFolder();

    explicit SingleInstance(QString folder = defaultFolder(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening, or activates the running copy. Blocks for at most
    // the wait while the other copy is starting up.
    Outcome enforce(std::chrono::milliseconds wait = std::chrono::seconds(20));

    // While quitting, a later copy is told to wait for the lock instead of ending.
    void setTerminating() { m_terminating = true; }

    QString lockPath() const;
    QString socketPath() const;

signals:
    // Another copy asked this one to come forward.
    void activationRequested();

private:
    enum class Answer { None, Activated, Quitting };
    bool listen();
    Answer askRunningCopyToActivate();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_terminating = false;
};

} // namespace velmora
