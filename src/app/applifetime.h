#pragma once

#include "app/lifetimeregistry.h"
#include "core/async.h"
#include "platform/sessionevents.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <vector>

namespace velmora {

class Defaults;

// One step of the quit sequence.
struct QuitStep {
    QString name;
    std::function<QCoro::Task<>()> run;
    // Runs even after the deadline passed: the steps that stop child processes.
    bool final = false;
};

// The application's lifetime: the launch line, interrupting a recording when the machine
// sleeps, locks or leaves the session, whether closing the window quits, and the orderly quit.
// A quit request (menu, tray, window, SIGTERM, SIGINT, SIGHUP) runs one sequence: every pending
// recording, draft, note and History write is finished, then the language-model server
// stops, and only then the program exits. A stuck step cannot hold the quit for ever: after
// the deadline the rest is cut short (and logged), the final steps still run.
class AppLifetime : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultQuitDeadline{10'000};

    AppLifetime(LifetimeRegistry &registry, Defaults &defaults, QObject *parent = nullptr);

    // Steps the program adds ahead of the services' ones (waiting for the Library's hand-off).
    void setPreludeSteps(std::vector<QuitStep> steps) { m_prelude = std::move(steps); }
    // Steps the program adds after the services' ones (stopping the speech engine).
    void setFinalSteps(std::vector<QuitStep> steps) { m_final = std::move(steps); }
    // Whether the tray item is there to bring the window back after it closes.
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }
    void setQuitDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

    // Launch: the version line, then watching sleep, lock and session changes.
    void didFinishLaunching(SessionEvents &events, const QString &version, const QString &build);
    // A running recording is cancelled as interrupted.
    void interruptDictation(SessionEvents::Kind kind);

    // Starts the quit sequence once; later requests do nothing more.
    void requestQuit();
    bool isTerminating() const { return m_terminating; }
    // The quit ended by the deadline rather than by every step finishing.
    bool wasCutShort() const { return m_cutShort; }
    // Closing the last window quits only when the tray item is switched off (or the desktop
    // has no tray to bring the window back from).
    bool shouldQuitAfterLastWindowClosed() const;

    // The services' quit steps, in their fixed order, skipping empty slots.
    static std::vector<QuitStep> quitSteps(LifetimeRegistry &registry);
    // Runs the steps one after another within the deadline; returns the names of the steps cut
    // short (the one running when the deadline passed and those not started).
    static QCoro::Task<QStringList> runSteps(std::vector<QuitStep> steps, std::chrono::milliseconds deadline);

signals:
    void terminationStarted();
    // Every step is done (or cut short): the program may exit now.
    void quitConfirmed();

private:
    QCoro::Task<> finishQuitting();

    LifetimeRegistry &m_registry;
    Defaults &m_defaults;
    std::vector<QuitStep> m_prelude;
    std::vector<QuitStep> m_final;
    std::function<bool()> m_trayAvailable;
    std::chrono::milliseconds m_deadline = kDefaultQuitDeadline;
    bool m_terminating = false;
    bool m_cutShort = false;
    bool m_launched = false;
};

} // namespace velmora
