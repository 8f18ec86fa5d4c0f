#include "app/applifetime.h"

#include "app/appsettings.h"
#include "core/defaults.h"
#include "core/log.h"
#include "dictation/dictationcoordinator.h"
#include "llm/llmruntime.h"
#include "speech/speechrecorder.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace velmora {

namespace {
// Runs one step to its end and reports it; failures are the step's own to log.
QCoro::Task<> runStep(std::function<QCoro::Task<>()> run, Promise<bool> done) {
    auto task = run();
    try {
        co_await std::move(task);
    } catch (...) {
    }
    done.resolve(true);
}
} // namespace

AppLifetime::AppLifetime(LifetimeRegistry &registry, Defaults &defaults, QObject *parent)
    : QObject(parent), m_registry(registry), m_defaults(defaults), m_trayAvailable([] { return true; }) {}

void AppLifetime::didFinishLaunching(SessionEvents &events, const QString &version, const QString &build) {
    if (m_launched)
        return;
    m_launched = true;
    Log::app().notice("Launched %{public}s (%{public}s)", {version.isEmpty() ? QStringLiteral("?") : version,
                                                           build.isEmpty() ? QStringLiteral("?") : build});
    QPointer<AppLifetime> self(this);
    connect(&events, &SessionEvents::interrupted, this, [self](SessionEvents::Kind kind) {
        if (self)
            self->interruptDictation(kind);
    });
    events.start();
}

void AppLifetime::interruptDictation(SessionEvents::Kind) {
    if (QPointer<DictationCoordinator> dictation = m_registry.dictation)
        dictation->interrupt();
}

bool AppLifetime::shouldQuitAfterLastWindowClosed() const {
    if (m_defaults.isStored(kShowInMenuBar) && !m_defaults.get(kShowInMenuBar))
        return true;
    // Without a tray there is no way back to a closed window: closing it quits.
    return !m_trayAvailable();
}

void AppLifetime::requestQuit() {
    if (m_terminating)
        return;
    m_terminating = true;
    Log::app().notice("Quitting");
    // Text an input method is still composing belongs to what gets saved.
    if (auto *im = QGuiApplication::inputMethod())
        im->commit();
    emit terminationStarted();
    finishQuitting();
}

std::vector<QuitStep> AppLifetime::quitSteps(LifetimeRegistry &registry) {
    std::vector<QuitStep> steps;
    if (QPointer<DictationCoordinator> dictation = registry.dictation) {
        // A recording stops (its save finishes or it is cancelled), then the last transcript goes.
        steps.push_back({QStringLiteral("dictation"), [dictation]() -> QCoro::Task<> {
                             if (!dictation)
                                 co_return;
                             auto quitting = dictation->recorder().prepareToQuit(dictation.data());
                             co_await std::move(quitting);
                             if (dictation)
                                 dictation->clearLatestText();
                         }});
    }
    if (QPointer<TranslateSession> translate = registry.translate) {
        // A translation still streaming is stopped and recorded while the server still runs.
        steps.push_back({QStringLiteral("translate"), [translate]() -> QCoro::Task<> {
                             if (translate)
                                 co_await translate->flush();
                         }});
    }
    if (QPointer<LLMRuntime> llm = registry.llm) {
        steps.push_back({QStringLiteral("llm"),
                         [llm]() -> QCoro::Task<> {
                             if (llm)
                                 co_await llm->prepareToQuit();
                         },
                         true});
    }
    return steps;
}

QCoro::Task<QStringList> AppLifetime::runSteps(std::vector<QuitStep> steps, std::chrono::milliseconds deadline) {
    QElapsedTimer elapsed;
    elapsed.start();
    QStringList cutShort;
    // Once a step was cut short the deadline has passed, whatever the clock's rounding says.
    bool expired = false;
    for (QuitStep &step : steps) {
        const qint64 remaining = deadline.count() - elapsed.elapsed();
        if ((expired || remaining <= 0) && !step.final) {
            cutShort.append(step.name);
            continue;
        }
        Promise<bool> done;
        runStep(step.run, done);
        if (step.final) {
            // Stopping child processes has its own bounds (SIGKILL after a grace).
            co_await done;
            continue;
        }
        auto timer = std::make_shared<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [done]() mutable { done.resolve(false); });
        timer->start(std::chrono::milliseconds(remaining));
        const bool finished = co_await done;
        timer->stop();
        if (!finished) {
            cutShort.append(step.name);
            expired = true;
        }
    }
    co_return cutShort;
}

QCoro::Task<> AppLifetime::finishQuitting() {
    QPointer<AppLifetime> self(this);
    std::vector<QuitStep> steps = m_prelude;
    for (QuitStep &step : quitSteps(m_registry))
        steps.push_back(std::move(step));
    for (const QuitStep &step : m_final)
        steps.push_back(step);
    auto running = runSteps(std::move(steps), m_deadline);
    const QStringList cutShort = co_await std::move(running);
    if (!self)
        co_return;
    if (!cutShort.isEmpty()) {
        m_cutShort = true;
        Log::app().error("Quit deadline passed; cut short: %{public}s", {cutShort.join(QStringLiteral(", "))});
    }
    emit quitConfirmed();
}

} // namespace velmora
