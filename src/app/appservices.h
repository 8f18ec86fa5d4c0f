#pragma once

#include "app/apppages.h"
#include "app/appplatform.h"
#include "app/lifetimeregistry.h"
#include "core/async.h"
#include "library/library.h"
#include "workspace/toolpageservices.h"

#include <QObject>

#include <memory>
#include <optional>

namespace velmora {

class AppLanguage;
class AppNavigation;
class Defaults;
class DictationContext;
class DictationCoordinator;
class DictationDelivery;
class DictationHotkeys;
class DictationOverlay;
class OverlayClock;
class DictationSounds;
class HistoryFeed;
class HomeHistoryCardFactory;
class LLMRuntime;
class LLMServer;
class DialogHandoffPrompts;
class LocalModels;
class ModelStoreReadiness;
class PinnedTools;
class SettingsAttention;
class SpeechCapture;
class SpeechDevices;
class SpeechHelperClient;
class SpeechPermissions;
class SpeechPreferences;
class ToolHandoff;
class TranslateModelReadiness;
class TranslateSession;
class WorkspaceNotes;
class SpeechRecorder;
class SpeechShortcuts;
class SystemAudioMute;

// The composition root: builds every app-wide service once, in a fixed order, hands each the
// others it needs, wires the callbacks between them (each holding its target weakly), opens
// the Library in the background and watches memory pressure. Services are members declared in
// dependency order, so they are destroyed in reverse. Main thread only.
class AppServices : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Where the Library lives; tests point it at a temporary folder.
        QString libraryRoot = Library::defaultRoot();
        // How long the Library waits for a lock another program holds.
        std::chrono::milliseconds libraryBusyWait = Library::kBusyWait;
        // The system's preferred interface languages, most preferred first.
        std::function<QStringList()> preferredLanguages;
        // The helper programs and their timings.
        QString llmServerPath;
        QString speechHelperPath;
        std::chrono::milliseconds llmLoadTimeout{60'000};
        std::chrono::seconds speechRequestTimeout{120};
    };

    AppServices(Defaults &defaults, AppPlatform platform, Options options);
    ~AppServices() override;

    Defaults &defaults() const { return m_defaults; }
    AppPlatform &platform() { return m_platform; }
    AppLanguage &language() const { return *m_language; }
    LocalModels &models() const { return *m_models; }
    SpeechPreferences &speechPreferences() const { return *m_speechPreferences; }
    SpeechDevices &speechDevices() const { return *m_speechDevices; }
    SpeechPermissions &speechPermissions() const { return *m_speechPermissions; }
    DictationContext &dictationContext() const { return *m_dictationContext; }
    LLMRuntime &llm() const { return *m_llm; }
    TranslateSession &translate() const { return *m_translate; }
    SpeechHelperClient &speechHelper() const { return *m_speechHelper; }
    // The workspace: the notes as navigation sees them, the one navigation state, the pinned
    // tools, the text hand-off between tools, what Settings needs of the user, and the pages'
    // views (each feature registers its page here before the main window shows it).
    WorkspaceNotes &notes() const { return *m_notes; }
    AppNavigation &navigation() const { return *m_navigation; }
    PinnedTools &pins() const { return *m_pins; }
    ToolHandoff &handoff() const { return *m_handoff; }
    SettingsAttention &settingsAttention() const { return *m_settingsAttention; }
    AppPages &pages() { return m_pages; }
    SpeechShortcuts &speechShortcuts() const { return *m_speechShortcuts; }
    DictationHotkeys &dictationHotkeys() const { return *m_dictationHotkeys; }
    SpeechRecorder &recorder() const { return *m_recorder; }
    DictationCoordinator &dictation() const { return *m_dictation; }
    // The one reader of History; every History writer raises its revision.
    HistoryFeed &history() const { return *m_history; }
    // The floating pill of dictation; none without a widget application.
    DictationOverlay *dictationOverlay() const { return m_overlay.get(); }
    LifetimeRegistry &lifetime() { return m_lifetime; }

    // The Library once opened (ready or not); none while it opens.
    const std::shared_ptr<Library> &library() const { return m_library; }
    bool isLibraryHandedOff() const { return m_libraryHandedOff.isDone(); }
    // Completes when the Library has been opened and handed to every feature.
    QCoro::Task<> libraryHandedOff() const;

    // One tool's recovery of the recordings a crash or a quit left in staging.
    struct StagedRecovery {
        QString tool;
        std::function<QCoro::Task<>(std::shared_ptr<Library>)> recover;
    };
    // The recovery of the recording tools built so far, in order: "dictation", "voiceCompose".
    static std::vector<StagedRecovery> stagedRecoveries();
    // Runs every recovery in order (a failed one does not stop the next), then sweeps the
    // orphaned files, but only when every recovery succeeded: a recording left in staging
    // would otherwise be taken for an orphan. True when the sweep ran.
    static QCoro::Task<bool> recoverThenSweep(std::shared_ptr<Library> library, std::vector<StagedRecovery> recoveries);

    // A model is loaded: the speech engine has its model, or the language-model server runs.
    bool hasLoadedModels() const;
    // Whether the shared recorder is running a recording.
    bool isRecorderBusy() const;
    // Unloads the idle models; never the writing model while a recording runs or a feature
    // holds it for a request.
    QCoro::Task<> freeUpMemory(bool recorderBusy);
    void handleMemoryPressure();

signals:
    void libraryOpened();

private:
    QCoro::Task<> openLibrary();
    // What every tool page takes from the workspace, the Recent section's feed and cards included.
    ToolPageServices toolPageServices() const;
    void startMemoryPressureMonitor();

    Defaults &m_defaults;
    Options m_options;
    AppPlatform m_platform;

    // Services, in dependency order.
    std::unique_ptr<SpeechDevices> m_speechDevices;
    std::unique_ptr<AppLanguage> m_language;
    std::unique_ptr<LocalModels> m_models;
    std::unique_ptr<SpeechPreferences> m_speechPreferences;
    std::unique_ptr<SpeechPermissions> m_speechPermissions;
    std::unique_ptr<DictationContext> m_dictationContext;
    std::unique_ptr<LLMServer> m_llmServer;
    std::unique_ptr<LLMRuntime> m_llm;
    std::unique_ptr<TranslateSession> m_translate;
    std::unique_ptr<TranslateModelReadiness> m_translateModel;
    std::unique_ptr<SpeechCapture> m_speechCapture;
    std::unique_ptr<SpeechHelperClient> m_speechHelper;
    std::unique_ptr<WorkspaceNotes> m_notes;
    std::unique_ptr<AppNavigation> m_navigation;
    std::unique_ptr<PinnedTools> m_pins;
    std::unique_ptr<ModelStoreReadiness> m_textModelReadiness;
    std::unique_ptr<DialogHandoffPrompts> m_handoffPrompts;
    std::unique_ptr<ToolHandoff> m_handoff;
    std::unique_ptr<SettingsAttention> m_settingsAttention;
    AppPages m_pages;
    std::unique_ptr<SpeechShortcuts> m_speechShortcuts;
    std::unique_ptr<DictationHotkeys> m_dictationHotkeys;
    std::unique_ptr<DictationSounds> m_sounds;
    std::unique_ptr<SystemAudioMute> m_mute;
    std::unique_ptr<SpeechRecorder> m_recorder;
    std::unique_ptr<DictationDelivery> m_delivery;
    std::unique_ptr<DictationCoordinator> m_dictation;
    std::unique_ptr<HistoryFeed> m_history;
    std::unique_ptr<HomeHistoryCardFactory> m_historyCards;
    std::unique_ptr<OverlayClock> m_overlayClock;
    std::unique_ptr<DictationOverlay> m_overlay;

    LifetimeRegistry m_lifetime;
    std::shared_ptr<Library> m_library;
    Promise<void> m_libraryHandedOff;
    bool m_memoryPressureStarted = false;
};

} // namespace velmora
