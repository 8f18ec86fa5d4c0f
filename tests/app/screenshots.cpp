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
#include "ui/textsize.h"
#include "ui/textsizecommands.h"
#include "ui/textsizeenvironment.h"
#include "ui/uisettings.h"
#include "workspace/appnavigation.h"
#include "workspace/navigationcommands.h"
#include "workspace/pinnedtools.h"
#include "workspace/workspaceview.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
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
    // Nothing may still be opening the Library when the services go.
    while (!services.isLibraryHandedOff())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return 0;
}
