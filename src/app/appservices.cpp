#include "app/appservices.h"

#include "app/absentnotes.h"
#include "app/applanguage.h"
#include "app/standins.h"
#include "core/defaults.h"
#include "core/log.h"
#include "core/settled.h"
#include "dictation/dictationcontext.h"
#include "dictation/dictationcoordinator.h"
#include "dictation/dictationdelivery.h"
#include "dictation/dictationhotkeys.h"
#include "dictation/dictationmeasurements.h"
#include "dictation/dictationoverlay.h"
#include "dictation/dictationsounds.h"
#include "dictation/dictationview.h"
#include "dictation/overlayclock.h"
#include "dictation/speechshortcuts.h"
#include "dictation/systemaudiomute.h"
#include "history/historyfeed.h"
#include "home/homehistorycardfactory.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "models/localmodels.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "speech/speechcapture.h"
#include "speech/speechdevices.h"
#include "speech/speechhelperclient.h"
#include "speech/speechpermissions.h"
#include "speech/speechpreferences.h"
#include "speech/speechrecorder.h"
#include "tools/translate/translatemodelreadiness.h"
#include "tools/translate/translatesession.h"
#include "tools/translate/translateview.h"
#include "workspace/appnavigation.h"
#include "workspace/handoffprompts.h"
#include "workspace/pinnedtools.h"
#include "workspace/settingsattention.h"
#include "workspace/textmodelreadiness.h"
#include "workspace/toolhandoff.h"

#include <QApplication>
#include <QPointer>

namespace velmora {

AppServices::AppServices(Defaults &defaults, AppPlatform platform, Options options)
    : m_defaults(defaults), m_options(std::move(options)), m_platform(std::move(platform)) {
    const auto preferredLanguages =
        m_options.preferredLanguages ? m_options.preferredLanguages : AppLanguage::systemPreferredLanguages;

    m_speechDevices = std::make_unique<SpeechDevices>(*m_platform.captureSource);
    m_language = std::make_unique<AppLanguage>(defaults, preferredLanguages);
    m_models = std::make_unique<LocalModels>(defaults, *m_platform.sleepInhibitor, StandIns::modelSetup(defaults));
    m_speechPreferences = std::make_unique<SpeechPreferences>(defaults, preferredLanguages());
    m_speechPermissions = std::make_unique<SpeechPermissions>(defaults, *m_platform.microphone,
                                                              *m_platform.accessibility, *m_platform.settingsPanes);
    m_speechPermissions->refresh();
    m_dictationContext = std::make_unique<DictationContext>(defaults);

    const QString llmPath =
        m_options.llmServerPath.isEmpty() ? LLMServer::executablePath(defaults) : m_options.llmServerPath;
    LLMServerTimings llmTimings;
    llmTimings.loadTimeout = m_options.llmLoadTimeout;
    m_llmServer = std::make_unique<LLMServer>(llmPath, llmTimings);
    LocalModels *models = m_models.get();
    SpeechPreferences *preferences = m_speechPreferences.get();
    m_llm = std::make_unique<LLMRuntime>(
        *m_llmServer, [models] { return models->text().readyFileURLs(); },
        [preferences] { return unloadSeconds(preferences->unloadInterval()); });

    TranslateSession::Dependencies translate;
    translate.llm = m_llm.get();
    translate.textModelName = [models] {
        const std::vector<ModelManifest> &files = models->text().manifests();
        return files.empty() ? QString() : files.front().filename;
    };
    translate.previewState = TranslateSession::readPreviewState(defaults);
    m_translate = std::make_unique<TranslateSession>(std::move(translate));
    m_translateModel = std::make_unique<TranslateModelReadiness>(m_models->text(), m_translate->previewState());

    m_speechCapture = std::make_unique<SpeechCapture>(SpeechCapture::defaultDirectory(), *m_platform.captureSource);
    const QString helperPath = m_options.speechHelperPath.isEmpty()
                                   ? SpeechHelperClient::configuredExecutablePath(defaults)
                                   : m_options.speechHelperPath;
    m_speechHelper = std::make_unique<SpeechHelperClient>(helperPath, m_options.speechRequestTimeout);

    m_notes = std::make_unique<AbsentNotes>();
    m_navigation = std::make_unique<AppNavigation>(defaults, *m_notes);
    m_pins = std::make_unique<PinnedTools>(defaults);
    m_textModelReadiness = std::make_unique<ModelStoreReadiness>(m_models->text());
    m_handoffPrompts = std::make_unique<DialogHandoffPrompts>();
    // A tool whose session is not built yet opens its page empty.
    ToolHandoff::Targets targets;
    targets.translate = m_translate.get();
    m_handoff = std::make_unique<ToolHandoff>(*m_navigation, *m_notes, *m_textModelReadiness, targets,
                                              *m_handoffPrompts, *m_platform.urlOpener, *m_platform.clipboard);
    m_settingsAttention = std::make_unique<SettingsAttention>(*m_models, *m_speechPermissions);
    m_speechShortcuts = std::make_unique<SpeechShortcuts>(defaults);
    DictationHotkeys::Dependencies hotkeys;
    hotkeys.shortcuts = m_speechShortcuts.get();
    hotkeys.registry = m_platform.shortcutRegistry.get();
    hotkeys.taps = m_platform.keyTaps.get();
    hotkeys.secureInput = m_platform.secureInput.get();
    hotkeys.trust = m_platform.accessibility.get();
    m_dictationHotkeys = std::make_unique<DictationHotkeys>(hotkeys);
    m_sounds = std::make_unique<DictationSounds>(*m_platform.soundPlayer, 0.06);
    // Gives back an output that a killed run left muted.
    m_mute = std::make_unique<SystemAudioMute>(*m_platform.audioOutput, defaults);

    SpeechPermissions *permissions = m_speechPermissions.get();
    SpeechRecorder::Dependencies recorder;
    recorder.capture = m_speechCapture.get();
    recorder.helper = m_speechHelper.get();
    recorder.sounds = m_sounds.get();
    recorder.muter = m_mute.get();
    recorder.readyModel = [permissions, models](bool requiresAccessibility) -> std::optional<QString> {
        permissions->refresh();
        if (permissions->microphone() != SpeechPermissions::MicrophoneStatus::Authorized ||
            (requiresAccessibility && !permissions->accessibility()))
            return std::nullopt;
        const std::optional<QStringList> files = models->speech().readyFileURLs();
        if (!files || files->isEmpty())
            return std::nullopt;
        return files->first();
    };
    recorder.soundsEnabled = [preferences] { return preferences->soundsEnabled(); };
    recorder.muteEnabled = [preferences] { return preferences->muteOutputEnabled(); };
    recorder.snapshot = [preferences] {
        return SpeechPreferenceSnapshot{preferences->languageCode(), preferences->selectedDeviceID()};
    };
    recorder.unloadSeconds = [preferences] { return unloadSeconds(preferences->unloadInterval()); };
    m_recorder = std::make_unique<SpeechRecorder>(std::move(recorder));

    DictationDelivery::Dependencies delivery;
    delivery.board = m_platform.clipboard.get();
    delivery.keyboard = m_platform.keyboardState.get();
    delivery.trust = m_platform.accessibility.get();
    delivery.keys = m_platform.keySender.get();
    m_delivery = std::make_unique<DictationDelivery>(delivery);

    DictationContext *context = m_dictationContext.get();
    DictationCoordinator::Dependencies dictation;
    dictation.recorder = m_recorder.get();
    dictation.delivery = m_delivery.get();
    dictation.llm = m_llm.get();
    dictation.cleanupReady = [preferences, models] {
        const std::optional<QStringList> files = models->text().readyFileURLs();
        return preferences->cleanupEnabled() && files && !files->isEmpty();
    };
    dictation.cleanupContext = [context] { return context->cleanupContext(); };
    m_dictation = std::make_unique<DictationCoordinator>(std::move(dictation));
    // Toggle and cancel from the keys; the keys watch Escape while a run is active.
    m_dictation->connectHotkeys(*m_dictationHotkeys);
    connect(m_dictationHotkeys.get(), &DictationHotkeys::blocked, this,
            [] { Log::dictation().notice("Dictation key pressed while a password field is active"); });

    m_history = std::make_unique<HistoryFeed>();
    // Every History writer tells the feed after writing, so every History list reloads.
    connect(m_dictation.get(), &DictationCoordinator::historySaved, m_history.get(), &HistoryFeed::historyWritten);
    connect(m_translate.get(), &TranslateSession::historyChanged, m_history.get(), &HistoryFeed::historyWritten);
    // The cards of the tool pages' Recent sections.
    m_historyCards = std::make_unique<HomeHistoryCardFactory>(
        HomeHistoryCard::Services{m_history.get(), m_navigation.get(), m_handoff.get()});

    // The pill needs widgets; a program without them has none.
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        m_overlayClock = std::make_unique<SystemOverlayClock>();
        DictationOverlay::Dependencies overlay;
        overlay.dictation = m_dictation.get();
        overlay.defaults = &defaults;
        overlay.windows = m_platform.floatingWindows.get();
        overlay.clock = m_overlayClock.get();
        m_overlay = std::make_unique<DictationOverlay>(std::move(overlay));
        m_overlay->showPreviewIfRequested();
        DictationOverlay *pill = m_overlay.get();
        // After the keys have been told (connectHotkeys above).
        connect(m_dictation.get(), &DictationCoordinator::activeChanged, pill,
                [pill](bool active) { pill->update(active); });
        connect(m_dictation.get(), &DictationCoordinator::busy, pill,
                [pill] { pill->showMessage(DictationCoordinator::busyMessage()); });
        connect(m_dictationHotkeys.get(), &DictationHotkeys::blocked, pill,
                [pill] { pill->showMessage(DictationCoordinator::secureInputMessage()); });
    }
    m_pages.add(WorkspacePage::tool(WorkspaceTool::Dictation), [this](QWidget *parent) {
        DictationView::Services page;
        page.dictation = m_dictation.get();
        page.permissions = m_speechPermissions.get();
        page.models = m_models.get();
        page.shortcuts = m_speechShortcuts.get();
        page.registry = m_platform.shortcutRegistry.get();
        page.workspace = toolPageServices();
        return new DictationView(page, parent);
    });

    m_pages.add(WorkspacePage::tool(WorkspaceTool::Translate), [this](QWidget *parent) {
        TranslateView::Services page;
        page.session = m_translate.get();
        page.model = m_translateModel.get();
        page.handoff = m_handoff.get();
        page.workspace = toolPageServices();
        return new TranslateView(page, parent);
    });

    // The interval applies to whatever is loaded now, not only to the next load.
    QPointer<LLMRuntime> llm(m_llm.get());
    QPointer<SpeechRecorder> speechRecorder(m_recorder.get());
    m_speechPreferences->onUnloadChange = [speechRecorder, llm] {
        if (speechRecorder)
            speechRecorder->scheduleUnload();
        if (llm)
            llm->scheduleIdleUnload();
    };

    m_lifetime.translate = m_translate.get();
    m_lifetime.llm = m_llm.get();

    openLibrary();
    startMemoryPressureMonitor();
}

AppServices::~AppServices() {
    if (m_speechPreferences)
        m_speechPreferences->onUnloadChange = nullptr;
}

ToolPageServices AppServices::toolPageServices() const {
    return {m_navigation.get(), m_pins.get(), m_history.get(), m_historyCards.get()};
}

QCoro::Task<> AppServices::libraryHandedOff() const {
    co_await m_libraryHandedOff;
}

QCoro::Task<> AppServices::openLibrary() {
    QPointer<AppServices> self(this);
    // The opening (folders, connection, backup, migrations) runs on the Library's own thread.
    auto opening = Library::openAsync(m_options.libraryRoot, m_options.libraryBusyWait);
    std::shared_ptr<Library> library = co_await std::move(opening);
    if (!self)
        co_return;
    if (library->status().isReady()) {
        auto repairing = recoverThenSweep(library, stagedRecoveries());
        co_await std::move(repairing);
        if (!self)
            co_return;
    }
    m_library = library;
    m_dictation->attach(std::make_shared<RecordingHistory<DictationMeasurements>>(QStringLiteral("dictation"), library,
                                                                                  RecordingAudioArchive::convert),
                        library->status());
    // After the recording owners, before the text tools; ready or not.
    m_history->setLibrary(library);
    // The page's draft comes back before the hand-off completes.
    auto attaching = m_translate->attach(library);
    co_await std::move(attaching);
    if (!self)
        co_return;
    emit libraryOpened();
    m_libraryHandedOff.resolve();
}

std::vector<AppServices::StagedRecovery> AppServices::stagedRecoveries() {
    return {{QStringLiteral("dictation"), [](std::shared_ptr<Library> library) -> QCoro::Task<> {
                 RecordingHistory<DictationMeasurements> history(QStringLiteral("dictation"), std::move(library),
                                                                 RecordingAudioArchive::convert);
                 co_await history.recoverStagedRecordings();
             }}};
}

QCoro::Task<bool> AppServices::recoverThenSweep(std::shared_ptr<Library> library,
                                                std::vector<StagedRecovery> recoveries) {
    bool recovered = true;
    for (StagedRecovery &recovery : recoveries) {
        auto recovering = settle(recovery.recover(library));
        // The recovery logs its own failure; the next tool's recovery still runs.
        if ((co_await std::move(recovering)).error)
            recovered = false;
    }
    if (!recovered)
        co_return false;
    // The Library logs its own failures; the hand-off goes on.
    auto sweeping = settle(library->sweepOrphanedFiles());
    co_await std::move(sweeping);
    co_return true;
}

bool AppServices::hasLoadedModels() const {
    return m_speechHelper->isLoaded() || m_llmServer->isReady();
}

bool AppServices::isRecorderBusy() const {
    return m_recorder->state() != SpeechRecorder::State::Idle;
}

QCoro::Task<> AppServices::freeUpMemory(bool recorderBusy) {
    QPointer<AppServices> self(this);
    const bool speech = false;
    bool text = false;
    // A held runtime means a feature is between requests of one run (or records with cleanup):
    // stopping the server under it would fail that run or make it load again at once.
    if (!recorderBusy && m_llm->holds() == 0) {
        auto unloading = m_llm->unloadNow();
        text = co_await std::move(unloading);
    }
    if (!self)
        co_return;
    Log::app().notice("Free up memory: speech %{bool,public}d, text %{bool,public}d", {speech, text});
}

void AppServices::handleMemoryPressure() {
    if (!hasLoadedModels())
        return;
    Log::app().notice("Memory pressure: freeing models");
    freeUpMemory(isRecorderBusy());
}

void AppServices::startMemoryPressureMonitor() {
    if (m_memoryPressureStarted || !m_platform.memoryPressure)
        return;
    m_memoryPressureStarted = true;
    QPointer<AppServices> self(this);
    connect(m_platform.memoryPressure.get(), &MemoryPressureSource::pressure, this, [self] {
        if (self)
            self->handleMemoryPressure();
    });
    m_platform.memoryPressure->start();
}

} // namespace velmora
