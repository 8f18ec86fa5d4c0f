#pragma once

// The floating pill at the bottom centre of the screen under the pointer that shows a dictation
// started from the keys: its waveform, its status and its failure, and short messages when a key
// press cannot start one. It speaks each change to screen readers. Main thread only.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class Defaults;
class DictationCoordinator;
class DictationPanel;
class DictationPanelRoot;
class FloatingWindows;
class OverlayClock;

class DictationOverlay : public QObject {
    Q_OBJECT
public:
    struct Screen {
        QString name;
        QRect geometry;
        // The part not taken by panels and docks.
        QRect available;
    };
    // Where the screens are and where the pointer is; the system's from the application.
    struct Screens {
        std::function<QList<Screen>()> all;
        std::function<std::optional<Screen>()> primary;
        std::function<QPoint()> pointer;
        static Screens system();
    };
    struct Dependencies {
        DictationCoordinator *dictation = nullptr;
        Defaults *defaults = nullptr;
        FloatingWindows *windows = nullptr;
        OverlayClock *clock = nullptr;
        Screens screens = Screens::system();
    };

    explicit DictationOverlay(Dependencies dependencies, QObject *parent = nullptr);
    ~DictationOverlay() override;

    // A run became active (its pill shows) or inactive (the pill goes, after its failure's time).
    void update(bool active);
    // Shows the text as a failure pill for 2.5 seconds, unless a pill is on screen.
    void showMessage(const QString &text);
    // Shows the pill "dictationOverlayPreview" names, for good.
    void showPreviewIfRequested();
    // The screens changed: the pill is placed again on the next turn of the event loop.
    void screensChanged();

    DictationPanel *panel() const;
    bool isVisible() const;
    // A hide is waiting or fading.
    bool isHiding() const { return m_hiding != nullptr; }
    // The screen chosen at the last show, if any.
    const std::optional<Screen> &screen() const { return m_screen; }

signals:
    // A text was posted to screen readers.
    void announced(const QString &text);
    // The panel was placed (at a show or after a screen change).
    void placed();

private:
    void show(DictationPanelRoot *root, bool run);
    void reposition();
    void hide(std::chrono::milliseconds delay);
    void fade(double start);
    void announce(const QString &text);

    Dependencies m_deps;
    std::unique_ptr<DictationPanel> m_panel;
    std::optional<Screen> m_screen;
    std::shared_ptr<void> m_hiding;
    // The content on screen follows a run (messages and the preview do not).
    bool m_showsRun = false;
};

} // namespace velmora
