// Not a test: renders the main window as the program assembles it (the workspace with its menus
// open) and the tray menu, at the standard and the largest text size, in English and Japanese,
// as PNG files for a person to look at.
//   app_screenshots OUTPUT_FOLDER   (run under Xvfb with QT_QPA_PLATFORM=xcb, or offscreen)

#include "app/appcommands.h"
#include "app/applanguage.h"
#include "app/appplatform.h"
#include "app/appservices.h"
#include "app/mainwindow.h"
#include "app/menubarcontent.h"
#include "app/updater.h"
#include "app/workspacecommands.h"
#include "core/defaults.h"
#include "history/historyfeed.h"
#include "library/library.h"
#include "library/records.h"
#include "library/seededrun.h"
#include "ui/pagescaffold.h"
#include "ui/textsize.h"
#include "ui/textsizecommands.h"
#include "ui/textsizeenvironment.h"
#include "ui/uisettings.h"
#include "workspace/appnavigation.h"
#include "workspace/navigationcommands.h"
#include "workspace/pinnedtools.h"
#include "workspace/workspaceview.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace velmora;

namespace {
// Lets layouts and the panels' animations finish.
void settle() {
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
}

void save(QWidget *widget, const QString &path) {
    settle();
    widget->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// A run as a tool records it, made minutesAgo before now; no output text when output is none.
struct SampleRun {
    const char *tool;
    const char *output;
    int minutesAgo;
    std::optional<ActivityEvent::Outcome> outcome = ActivityEvent::Outcome::Completed;
};

// History for the pages' Recent sections: runs of both tools over the last days.
void seedHistory(Library &library) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const SampleRun runs[] = {
        {"translate", "Thank you for the quick reply. I will send the revised schedule by tomorrow morning.", 5},
        {"translate", "会議の資料を共有します。ご確認のほど、よろしくお願いいたします。", 90},
        {"translate", "", 60 * 20, ActivityEvent::Outcome::Failed},
        {"translate",
         "The delivery was delayed because of the storm.\nWe expect it to arrive on Friday; I will confirm "
         "the time once the carrier tells us, and let the whole team know so nobody waits at the door "
         "longer than needed. Thanks again for your patience while we sort this out.",
         60 * 24 * 3},
        {"translate", "Please find the minutes attached.", 60 * 24 * 12},
        {"dictation", "Remind me to call the dentist on Monday and book the car service for next week.", 12},
        {"dictation", "明日の打ち合わせは十時からです。", 60 * 26},
        {"dictation", nullptr, 60 * 30, ActivityEvent::Outcome::Failed},
    };
    QCoro::waitFor(library.write([&](SQLite::Database &db) {
        for (const SampleRun &run : runs) {
            test::SeededRun seeded;
            seeded.tool = QString::fromLatin1(run.tool);
            seeded.at = now.addSecs(-60 * run.minutesAgo);
            if (run.output)
                seeded.output = QString::fromUtf8(run.output);
            seeded.outcome = run.outcome;
            seeded.insert(db);
        }
    }));
}

// The window with one of its menus open below its title, as one picture.
void saveWithMenu(MainWindow &window, QMenu *menu, const QString &path) {
    QAction *title = menu->menuAction();
    const QRect at = window.menuBar()->actionGeometry(title);
    menu->popup(window.mapToGlobal(at.bottomLeft() + QPoint(0, window.menuBar()->y())));
    settle();
    QPixmap picture = window.grab();
    QPainter painter(&picture);
    painter.drawPixmap(window.mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    menu->hide();
    picture.save(path);
    std::printf("%s\n", qPrintable(path));
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);
    QTemporaryDir library;
    Defaults defaults{QString()};
    AppServices::Options options;
    options.libraryRoot = library.path();
    options.preferredLanguages = [] { return QStringList{QStringLiteral("en-US")}; };
    AppServices services(defaults, AppPlatform::fakes(), options);
    AppLanguage &language = services.language();
    AppNavigation &navigation = services.navigation();

    MainWindow window;
    new TextSizeEnvironment(&window, defaults);
    window.setContent(
        new WorkspaceView(navigation, services.pins(), defaults, &services.pages(), &services.settingsAttention()));
    Updater updater{QString()};
    AppCommands commands(window, updater, {[] {}, [] {}});
    TextSizeCommands textSize(defaults);
    commands.viewMenu()->addActions({textSize.bigger(), textSize.smaller(), textSize.actualSize()});
    WorkspaceCommands workspace(commands, navigation, services.pins(), defaults, [] {});
    MenuBarContent tray(language, defaults,
                        {[] {}, [] {}, [] { return true; }, [] {}, [] { return true; }, [] {}, [] {}});
    services.pins().pin(WorkspaceTool::Translate);
    services.pins().pin(WorkspaceTool::Proofread);
    window.resize(MainWindow::kDefaultSize);
    window.show();
    // The pages' Recent sections read History once the Library is open.
    while (!services.isLibraryHandedOff())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    seedHistory(*services.library());
    services.history().historyWritten();

    for (const auto preference : {AppLanguage::Preference::English, AppLanguage::Preference::Japanese}) {
        language.setPreference(preference);
        const QString code = language.isJapanese() ? QStringLiteral("ja") : QStringLiteral("en");
        for (const TextSize size : {TextSize::Standard, TextSize::Largest}) {
            defaults.set(kTextSize, toString(size));
            const QString at = code + QLatin1Char('-') + toString(size);
            window.resize(MainWindow::kDefaultSize);
            navigation.open(WorkspacePage::home());
            navigation.open(WorkspacePage::tool(WorkspaceTool::Translate), true);
            save(&window, out + QStringLiteral("/window-") + at + QStringLiteral(".png"));
            if (size == TextSize::Largest) {
                window.resize(1440, MainWindow::kDefaultSize.height());
                save(&window, out + QStringLiteral("/wide-window-") + at + QStringLiteral(".png"));
                window.resize(MainWindow::kDefaultSize);
            }
            navigation.open(WorkspacePage::tool(WorkspaceTool::Dictation));
            save(&window, out + QStringLiteral("/dictation-") + at + QStringLiteral(".png"));
            // Down at the pages' Recent sections.
            for (const WorkspaceTool tool : {WorkspaceTool::Translate, WorkspaceTool::Dictation}) {
                navigation.open(WorkspacePage::tool(tool));
                settle();
                for (QScrollArea *scroll : window.findChildren<QScrollArea *>()) {
                    const bool page = qobject_cast<PageScaffold *>(scroll) || qobject_cast<ToolPageScaffold *>(scroll);
                    if (page && scroll->isVisible())
                        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
                }
                save(&window, out + QStringLiteral("/recent-") + toString(tool) + QLatin1Char('-') + at +
                                  QStringLiteral(".png"));
            }
            navigation.open(WorkspacePage::tool(WorkspaceTool::Summarize));
            saveWithMenu(window, commands.viewMenu(),
                         out + QStringLiteral("/view-menu-") + at + QStringLiteral(".png"));
            saveWithMenu(window, workspace.goMenu(), out + QStringLiteral("/go-menu-") + at + QStringLiteral(".png"));
            // Too narrow for the sidebar: it slides over the page.
            window.resize(WorkspaceView::kMinimumWidth, MainWindow::kDefaultSize.height());
            settle();
            navigation.toggleSidebar();
            save(&window, out + QStringLiteral("/narrow-sidebar-") + at + QStringLiteral(".png"));
            navigation.closeSlideOver();
        }
        defaults.set(kTextSize, toString(TextSize::Standard));
        window.resize(MainWindow::kDefaultSize);
        saveWithMenu(window, commands.editMenu(), out + QStringLiteral("/edit-menu-") + code + QStringLiteral(".png"));
        saveWithMenu(window, commands.helpMenu(), out + QStringLiteral("/help-menu-") + code + QStringLiteral(".png"));
        tray.refresh();
        tray.menu()->popup(QPoint(40, 40));
        save(tray.menu(), out + QStringLiteral("/tray-menu-") + code + QStringLiteral(".png"));
        tray.menu()->hide();
    }
    return 0;
}
