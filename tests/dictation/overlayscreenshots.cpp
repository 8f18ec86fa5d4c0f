// Not a test: shows each pill of the dictation overlay over another program's window on the
// screen and saves the whole screen as a PNG, in English and Japanese, for a person to look at.
//   dictation_overlay_screenshots OUTPUT_FOLDER   (run under Xvfb with QT_QPA_PLATFORM=xcb)

#include "core/defaults.h"
#include "dictation/dictationoverlay.h"
#include "dictation/dictationsettings.h"
#include "dictation/overlayclock.h"
#include "platform/floatingwindows.h"
#include "ui/environment.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

using namespace velmora;

namespace {
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);

    // Another program the user types in.
    QPlainTextEdit other;
    other.setWindowTitle(QStringLiteral("Notes"));
    other.setPlainText(QStringLiteral("Meeting notes\n\nThe quarterly review moved to Thursday. Bring the draft "
                                      "budget and the list of open questions.\n\n"));
    QFont font = other.font();
    font.setPixelSize(16);
    other.setFont(font);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    other.setGeometry(screen.adjusted(60, 40, -60, -20));
    other.show();
    other.activateWindow();

    SystemOverlayClock clock;
    X11FloatingWindows windows;
    QTranslator japanese;
    for (const char *language : {"en", "ja"}) {
        if (QLatin1String(language) == QLatin1String("ja")) {
            if (!japanese.load(QStringLiteral(":/translations/dictation_ja.qm")))
                return 1;
            QCoreApplication::installTranslator(&japanese);
        }
        for (const char *state : {"preparing", "listening", "transcribing", "failed", "blocked"}) {
            Defaults defaults{QString()};
            defaults.setString(kDictationOverlayPreview.name, QLatin1String(state));
            DictationOverlay::Dependencies deps;
            deps.defaults = &defaults;
            deps.windows = &windows;
            deps.clock = &clock;
            DictationOverlay overlay(deps);
            overlay.showPreviewIfRequested();
            settle(700);
            const QString path =
                out + QStringLiteral("/overlay-%1-%2.png").arg(QLatin1String(state), QLatin1String(language));
            QGuiApplication::primaryScreen()->grabWindow(0).save(path);
            std::printf("%s\n", qPrintable(path));
        }
    }
    return 0;
}
