#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// Xlib's display connection.
struct _XDisplay;

namespace velmora {

// Synthetic key presses, received by whichever window has the keyboard focus.
class KeySender {
public:
    // The keys of the paste chord (Ctrl+V) as the display knows them.
    struct PasteChord {
        unsigned modifier = 0;
        unsigned key = 0;
        bool operator==(const PasteChord &) const = default;
    };

    virtual ~KeySender() = default;
    // None when keys cannot be sent here (no display, no XTest).
    virtual std::optional<PasteChord> preparePasteChord() = 0;
    // Ctrl down, V down, V up.
    virtual void pressPasteChord(const PasteChord &chord) = 0;
    // Ctrl up.
    virtual void releasePasteChord(const PasteChord &chord) = 0;
};

// Keys sent through XTest on an X11 display. V is the key that types "v" in the current
// keymap, else the key in the V position of a US keyboard; the connection opens on first use.
class X11KeySender : public KeySender {
public:
    explicit X11KeySender(QString displayName = {});
    ~X11KeySender() override;
    X11KeySender(const X11KeySender &) = delete;
    X11KeySender &operator=(const X11KeySender &) = delete;

    std::optional<PasteChord> preparePasteChord() override;
    void pressPasteChord(const PasteChord &chord) override;
    void releasePasteChord(const PasteChord &chord) override;

private:
    ::_XDisplay *display();

    QString m_displayName;
    ::_XDisplay *m_display = nullptr;
    bool m_opened = false;
};

// Records the chord's halves with their times; the test plays the focused program through the
// hooks (a paste on press).
class FakeKeySender : public KeySender {
public:
    std::optional<PasteChord> preparePasteChord() override {
        ++prepares;
        if (!available)
            return std::nullopt;
        return PasteChord{37, 55};
    }
    void pressPasteChord(const PasteChord &) override {
        presses.push_back(std::chrono::steady_clock::now());
        if (onPress)
            onPress();
    }
    void releasePasteChord(const PasteChord &) override {
        releases.push_back(std::chrono::steady_clock::now());
        if (onRelease)
            onRelease();
    }
    bool available = true;
    int prepares = 0;
    std::vector<std::chrono::steady_clock::time_point> presses, releases;
    std::function<void()> onPress, onRelease;
};

} // namespace velmora
