// Renders the main window's workspace in the states worth looking at, at the standard and the
// largest text size, in English and Japanese, as PNGs in the folder given as the first argument.
// Not a test: a person looks at the pictures.

#include "core/defaults.h"
#include "models/localmodels.h"
#include "platform/accessibilitytrust.h"
#include "platform/microphoneaccess.h"
#include "platform/settingspanes.h"
#include "platform/sleepinhibitor.h"
#include "speech/speechpermissions.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "workspace/appnavigation.h"
#include "workspace/pagefactory.h"
#include "workspace/pinnedtools.h"
#include "workspace/settingsattention.h"
#include "workspace/slideoverpanel.h"
#include "workspace/workspaceview.h"
#include "workspacefakes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTranslator>
#include <QVBoxLayout>

using namespace velmora;

namespace {

// Notes stands in with a plain list so the list's sliding panel can be seen.
class GalleryPages : public PageFactory {
public:
    explicit GalleryPages(AppNavigation &nav) : m_nav(nav) {}
    QWidget *createPage(const WorkspacePage &page, QWidget *parent) override {
        if (page != WorkspacePage::notes())
            return nullptr;
        auto *view = new QWidget(parent);
        auto *list = new QListWidget;
        list->addItems({"Groceries", "Meeting notes", "Ideas for the launch", QString::fromUtf8("議事録メモ")});
        auto *panel = new SlideOverPanel(list, 320, view);
        panel->setPresented(m_nav.slideOver() == SlidingPanel::List);
        QObject::connect(&m_nav, &AppNavigation::slideOverChanged, panel,
                         [this, panel] { panel->setPresented(m_nav.slideOver() == SlidingPanel::List); });
        QObject::connect(panel, &SlideOverPanel::dismissRequested, &m_nav, &AppNavigation::closeSlideOver);
        return view;
    }

private:
    AppNavigation &m_nav;
};

struct Scene {
    const char *name;
    // At the standard size; the largest size moves every threshold by 240.
    int width;
    std::function<void(AppNavigation &, PinnedTools &)> act;
};

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: workspace_gallery OUTPUT-FOLDER");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir home;

    Defaults defaults{QString()};
    FakeSleepInhibitor inhibitor;
    LocalModels::Setup setup;
    setup.speechManifests = {ModelManifest{QUrl("http://127.0.0.1:9/s"), "s.bin", 10, QString(64, u'0')}};
    setup.speechFolder = home.filePath("Speech");
    setup.textManifests = {ModelManifest{QUrl("http://127.0.0.1:9/t"), "t.bin", 10, QString(64, u'0')}};
    setup.textFolder = home.filePath("Text");
    setup.spaceFolder = home.path();
    setup.machineMemory = [] { return quint64(32) << 30; };
    LocalModels models(defaults, inhibitor, setup);
    FakeMicrophoneAccess microphone;
    microphone.current = MicrophoneAccess::Status::Authorized;
    FakeAccessibilityTrust trust;
    trust.trusted = true;
    FakeSettingsPanes panes;
    SpeechPermissions permissions(defaults, microphone, trust, panes);
    permissions.refresh();
    SettingsAttention attention(models, permissions);

    const QList<Scene> scenes = {
        {"home", 1200, [](AppNavigation &, PinnedTools &) {}},
        {"placeholder", 1200,
         [](AppNavigation &nav, PinnedTools &) {
             nav.open(WorkspacePage::tool(WorkspaceTool::Redact));
             nav.open(WorkspacePage::tool(WorkspaceTool::Translate), true);
             nav.goBack();
         }},
        {"sidebar-hidden", 1200,
         [](AppNavigation &nav, PinnedTools &) {
             nav.open(WorkspacePage::tool(WorkspaceTool::Humanize));
             nav.toggleSidebar();
         }},
        {"sidebar-panel", 1000,
         [](AppNavigation &nav, PinnedTools &) {
             nav.open(WorkspacePage::tool(WorkspaceTool::ExtractText), true);
             nav.toggleSidebar();
         }},
        {"list-panel", 800,
         [](AppNavigation &nav, PinnedTools &) {
             nav.open(WorkspacePage::notes());
             nav.toggleList();
         }},
        {"collapsed", 1200,
         [](AppNavigation &nav, PinnedTools &pins) {
             pins.pin(WorkspaceTool::Proofread);
             nav.open(WorkspacePage::history());
         }},
    };

    QTranslator ui, workspace;
    for (const char *language : {"en", "ja"}) {
        if (QString::fromLatin1(language) == u"ja") {
            if (!ui.load(":/translations/ui_ja.qm") || !workspace.load(":/translations/workspace_ja.qm"))
                qWarning("the Japanese translations are missing");
            QCoreApplication::installTranslator(&ui);
            QCoreApplication::installTranslator(&workspace);
        }
        for (TextSize size : {TextSize::Standard, TextSize::Largest}) {
            for (const Scene &scene : scenes) {
                defaults.remove("pinnedTools");
                if (QString::fromLatin1(scene.name) == u"collapsed")
                    defaults.setString("collapsedSidebarGroups", "meetings,writing");
                else
                    defaults.remove("collapsedSidebarGroups");
                test::FakeNotes notes;
                AppNavigation nav(defaults, notes);
                PinnedTools pins(defaults);
                GalleryPages pages(nav);
                QMainWindow window;
                auto *view = new WorkspaceView(nav, pins, defaults, &pages, &attention);
                window.setCentralWidget(view);
                Environment::setTextSize(view, size);
                window.resize(size == TextSize::Standard ? scene.width : scene.width + 240, 760);
                window.show();
                QCoreApplication::processEvents();
                scene.act(nav, pins);
                // Let the slides and fades finish.
                QElapsedTimer wait;
                wait.start();
                while (wait.elapsed() < 400)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                const QString file =
                    QStringLiteral("%1/%2-%3-%4.png")
                        .arg(out, QString::fromLatin1(scene.name), QString::fromLatin1(language), toString(size));
                window.grab().save(file);
            }
        }
    }
    return 0;
}
