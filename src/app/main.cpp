// The program entry: one copy per user, SIGPIPE ignored, every service built once, the main
// window and the tray item, and an orderly quit however the program is asked to end.

#include "app/appcommands.h"
#include "app/applanguage.h"
#include "app/applifetime.h"
#include "app/appplatform.h"
#include "app/appservices.h"
#include "app/appsettings.h"
#include "app/mainwindow.h"
#include "app/menubarcontent.h"
#include "app/singleinstance.h"
#include "app/speechreadinessmonitor.h"
#include "app/standins.h"
#include "app/updater.h"
#include "app/workspacecommands.h"
#include "core/defaults.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/threadcontext.h"
#include "dictation/dictationcoordinator.h"
#include "platform/terminationsignals.h"
#include "speech/speechhelperclient.h"
#include "ui/textsizecommands.h"
#include "ui/textsizeenvironment.h"
#include "workspace/appnavigation.h"
#include "workspace/workspaceview.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <limits>
#include <unistd.h>

using namespace velmora;

int main(int argc, char **argv) {
    // First of all: a SIGTERM during start-up must run the orderly quit too, not kill us.
    TerminationSignals::install();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setOrganizationDomain(QStringLiteral("velmora.app"));
    QApplication::setDesktopFileName(QString::fromLatin1(kBundleIdentifier));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.svg")));
    // Closing the window is decided by the lifetime rule, never by Qt.
    QApplication::setQuitOnLastWindowClosed(false);

    Defaults defaults(Defaults::standardFilePath());
    defaults.setArguments(QApplication::arguments());

    SingleInstance instance;
    if (instance.enforce() == SingleInstance::Outcome::AnotherIsRunning) {
        Log::app().notice("Another copy is running; quitting");
        return 0;
    }

    std::signal(SIGPIPE, SIG_IGN);

    AppPlatform platform = AppPlatform::system(defaults);
    StandIns::logInUse(defaults, platform);
    SessionEvents *sessionEvents = platform.sessionEvents.get();

    AppServices::Options options;
    if (const qint64 wait = defaults.get(kLibraryBusyWaitMs); wait > 0)
        options.libraryBusyWait = std::chrono::milliseconds(std::min<qint64>(wait, std::numeric_limits<int>::max()));
    AppServices services(defaults, std::move(platform), std::move(options));

    AppLifetime lifetime(services.lifetime(), defaults);
    lifetime.setPreludeSteps({{QStringLiteral("library"), [&services] { return services.libraryHandedOff(); }}});
    SpeechHelperClient &speechHelper = services.speechHelper();
    lifetime.setFinalSteps(
        {{QStringLiteral("speechHelper"), [&speechHelper] { return speechHelper.terminate(); }, true}});

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &lifetime,
                     [&lifetime] { lifetime.requestQuit(); });

    MainWindow window;
    new TextSizeEnvironment(&window, defaults);
    AppNavigation &navigation = services.navigation();
    window.setContent(
        new WorkspaceView(navigation, services.pins(), defaults, &services.pages(), &services.settingsAttention()));
    navigation.installMouseButtons();
    Updater updater;
    AppCommands commands(window, updater,
                         {[&lifetime] { lifetime.requestQuit(); },
                          [&window] {
                              QMessageBox::about(
                                  &window, QCoreApplication::translate("Localizable", "About Velmora", "Dialog title"),
                                  QCoreApplication::translate("Localizable",
                                                              "Velmora %1\nA private writing toolkit that runs "
                                                              "entirely on this computer.",
                                                              "About dialog text; %1 is the version")
                                      .arg(QStringLiteral(VELMORA_VERSION)));
                          }});

    TextSizeCommands textSize(defaults);
    commands.viewMenu()->addActions({textSize.bigger(), textSize.smaller(), textSize.actualSize()});
    window.addAction(textSize.equalsShortcut());
    const auto openMainWindow = [&window] { window.present(); };
    WorkspaceCommands workspaceCommands(commands, navigation, services.pins(), defaults, openMainWindow);

    DictationCoordinator &dictation = services.dictation();
    MenuBarContent tray(
        services.language(), defaults,
        {openMainWindow, [&] { WorkspaceCommands::openSettings(navigation, openMainWindow); },
         [&dictation] { return dictation.latestText().has_value(); }, [&dictation] { dictation.copyLastTranscript(); },
         [&services] { return services.hasLoadedModels(); },
         [&services] { services.freeUpMemory(services.isRecorderBusy()); }, [&lifetime] { lifetime.requestQuit(); }});
    lifetime.setTrayAvailable([&tray] { return tray.isTrayAvailable(); });

    // The keys work from the first showing of the window on; a start refused for want of a grant
    // or the model brings the window forward.
    SpeechReadinessMonitor readiness(services.speechPermissions(), services.dictationHotkeys(), dictation,
                                     services.lifetime(),
                                     [&](bool) { WorkspaceCommands::openSettings(navigation, openMainWindow); });
    QObject::connect(&window, &MainWindow::appeared, &readiness, &SpeechReadinessMonitor::start);

    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] { window.present(); });
    QObject::connect(&window, &MainWindow::closed, &lifetime, [&lifetime] {
        if (lifetime.shouldQuitAfterLastWindowClosed())
            lifetime.requestQuit();
    });
    QObject::connect(&lifetime, &AppLifetime::terminationStarted, &instance,
                     [&instance] { instance.setTerminating(); });
    QObject::connect(&lifetime, &AppLifetime::quitConfirmed, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &services, [&services](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            services.language().refreshLocale();
    });
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &readiness, [&readiness](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            readiness.refreshOnActivation();
    });
    // A session manager that ends the session asks through Qt; the same quit answers it.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifetime, [&lifetime] { lifetime.requestQuit(); });

    QTimer::singleShot(0, &lifetime, [&] {
        lifetime.didFinishLaunching(*sessionEvents, QStringLiteral(VELMORA_VERSION), QStringLiteral(VELMORA_BUILD));
    });
    window.present();

    const int status = QApplication::exec();
    // Work that ended with the event loop may still have coroutines queued to resume here.
    ThreadContext::drainCurrent(std::chrono::seconds(2));
    if (lifetime.wasCutShort()) {
        // Steps cut short still hold work in flight; the child processes are stopped, so the
        // process ends here rather than tearing services down under that work.
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
