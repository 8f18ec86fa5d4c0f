#include "dictation/dictationoverlay.h"

#include "core/defaults.h"
#include "dictation/dictationcoordinator.h"
#include "dictation/dictationoverlayview.h"
#include "dictation/dictationpanel.h"
#include "dictation/dictationpill.h"
#include "dictation/dictationsettings.h"
#include "dictation/overlayclock.h"
#include "ui/textsizeenvironment.h"

#include <QAccessible>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr std::chrono::milliseconds kMessageTime{2500};
constexpr std::chrono::milliseconds kFadeFrame{16};
constexpr double kFadeSeconds = 0.2;

DictationOverlay::Screen describe(const QScreen *screen) {
    return {screen->name(), screen->geometry(), screen->availableGeometry()};
}

} // namespace

DictationOverlay::Screens DictationOverlay::Screens::system() {
    Screens screens;
    screens.all = [] {
        QList<Screen> all;
        for (const QScreen *screen : QGuiApplication::screens())
            all.append(describe(screen));
        return all;
    };
    screens.primary = []() -> std::optional<Screen> {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return describe(screen);
        return std::nullopt;
    };
    screens.pointer = [] { return QCursor::pos(); };
    return screens;
}

DictationOverlay::DictationOverlay(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies)) {
    const auto watch = [this](QScreen *screen) {
        connect(screen, &QScreen::geometryChanged, this, &DictationOverlay::screensChanged);
        connect(screen, &QScreen::availableGeometryChanged, this, &DictationOverlay::screensChanged);
    };
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        for (QScreen *screen : QGuiApplication::screens())
            watch(screen);
        connect(app, &QGuiApplication::screenAdded, this, [this, watch](QScreen *screen) {
            watch(screen);
            screensChanged();
        });
        connect(app, &QGuiApplication::screenRemoved, this, &DictationOverlay::screensChanged);
        connect(app, &QGuiApplication::primaryScreenChanged, this, &DictationOverlay::screensChanged);
    }
}

DictationOverlay::~DictationOverlay() = default;

DictationPanel *DictationOverlay::panel() const {
    return m_panel.get();
}

bool DictationOverlay::isVisible() const {
    return m_panel && m_panel->isVisible();
}

void DictationOverlay::update(bool active) {
    if (active) {
        QPointer<DictationOverlay> self(this);
        show(new DictationOverlayView(*m_deps.dictation, *m_deps.clock,
                                      [self](const QString &text) {
                                          if (self)
                                              self->announce(text);
                                      }),
             true);
        return;
    }
    if (!m_deps.dictation->failure()) {
        announce(m_deps.dictation->statusText());
        hide(std::chrono::milliseconds{0});
    } else {
        hide(kMessageTime);
    }
}

void DictationOverlay::showMessage(const QString &text) {
    if (isVisible())
        return;
    show(new DictationPanelRoot(new DictationPill(
             DictationOverlayContent::failure(text), [] { return 0.0; }, *m_deps.clock)),
         false);
    announce(text);
    hide(kMessageTime);
}

void DictationOverlay::showPreviewIfRequested() {
    const QString preview = m_deps.defaults->get(kDictationOverlayPreview);
    std::optional<DictationOverlayContent> content;
    if (preview == QLatin1String("preparing"))
        content = DictationOverlayContent::listening(false);
    else if (preview == QLatin1String("listening"))
        content = DictationOverlayContent::listening(true);
    else if (preview == QLatin1String("transcribing"))
        content = DictationOverlayContent::status(QCoreApplication::translate(
            "Dictation", "Transcribing\u2026", "Dictation status while the recording is transcribed"));
    else if (preview == QLatin1String("failed"))
        content = DictationOverlayContent::failure(QCoreApplication::translate(
            "Dictation", "No speech was heard.", "A dictation finished without any recognized text"));
    else if (preview == QLatin1String("blocked"))
        content = DictationOverlayContent::failure(DictationCoordinator::secureInputMessage());
    if (!content)
        return;
    OverlayClock *clock = m_deps.clock;
    const auto level = [clock] {
        const double t = clock->now();
        return std::abs(std::sin(5.3 * t) * std::sin(1.7 * t)) * 0.55 + 0.3;
    };
    show(new DictationPanelRoot(new DictationPill(*content, level, *clock)), false);
}

void DictationOverlay::show(DictationPanelRoot *root, bool run) {
    m_hiding.reset();
    const QPoint pointer = m_deps.screens.pointer();
    m_screen.reset();
    for (const Screen &screen : m_deps.screens.all()) {
        if (screen.geometry.contains(pointer)) {
            m_screen = screen;
            break;
        }
    }
    if (!m_screen)
        m_screen = m_deps.screens.primary();
    if (!m_panel) {
        m_panel = std::make_unique<DictationPanel>(*m_deps.windows);
        // The user's Reduce Motion setting reaches the pill; its text keeps the standard size.
        new TextSizeEnvironment(m_panel.get(), *m_deps.defaults);
    }
    // A pill still on screen keeps its content, except that a run replaces a message: the run's
    // own pill must show at once.
    if (!m_panel->isVisible() || (run && !m_showsRun)) {
        m_panel->setContent(root);
        m_showsRun = run;
    } else {
        delete root;
    }
    reposition();
    m_panel->setAlpha(1);
    m_panel->orderFront();
}

void DictationOverlay::screensChanged() {
    QTimer::singleShot(0, this, &DictationOverlay::reposition);
}

void DictationOverlay::reposition() {
    if (!m_panel)
        return;
    std::optional<Screen> use;
    if (m_screen) {
        for (const Screen &screen : m_deps.screens.all())
            if (screen.name == m_screen->name)
                use = screen;
    }
    if (!use)
        use = m_deps.screens.primary();
    if (!use)
        return;
    m_screen = use;
    const QRect visible = use->available;
    m_panel->move(visible.x() + visible.width() / 2 - m_panel->width() / 2,
                  visible.y() + visible.height() - m_panel->height());
    emit placed();
}

void DictationOverlay::hide(std::chrono::milliseconds delay) {
    if (!isVisible())
        return;
    m_hiding = m_deps.clock->after(delay, [this] { fade(m_deps.clock->now()); });
}

void DictationOverlay::fade(double start) {
    const double elapsed = m_deps.clock->now() - start;
    if (elapsed < kFadeSeconds - 1e-4) {
        m_panel->setAlpha(1.0 - elapsed / kFadeSeconds);
        const auto left = std::chrono::milliseconds(static_cast<qint64>(std::ceil((kFadeSeconds - elapsed) * 1000)));
        m_hiding = m_deps.clock->after(std::min(kFadeFrame, left), [this, start] { fade(start); });
        return;
    }
    m_panel->setAlpha(0);
    m_panel->hide();
    m_panel->setContent(nullptr);
    m_showsRun = false;
    m_hiding.reset();
}

void DictationOverlay::announce(const QString &text) {
    if (!isVisible())
        return;
    // Screen readers read an alert's name; the panel carries the text while it is said.
    m_panel->setAccessibleDescription(text);
    QAccessibleEvent event(m_panel.get(), QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
    emit announced(text);
}

} // namespace velmora
