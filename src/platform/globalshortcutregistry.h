#pragma once

// Named global shortcuts: each name has a chord that works in every program while the name is
// enabled, and the registry tells its owner when that chord is released (on key-up, not on the
// press), on the main thread. Chords live in memory only: whoever sets them keeps the stored
// copy.

#include "platform/keychord.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace velmora {

class XcbConnection;

class GlobalShortcutRegistry : public QObject {
    Q_OBJECT
public:
    // Off: disabled or without a chord. Active: its chord works. Taken: another program holds
    // the chord. Unsupported: the chord cannot work here (no display, a key or modifier a PC
    // keyboard lacks, or Ctrl+V, which Velmora's own paste sends).
    enum class Status { Off, Active, Taken, Unsupported };
    Q_ENUM(Status)
    static QString toString(Status status);

    using QObject::QObject;

    // The chords of the names stop being delivered; enable delivers them again.
    void disable(const QStringList &names);
    void enable(const QStringList &names);
    // Sets or clears a name's chord.
    void setChord(const QString &name, std::optional<KeyChord> chord);

    std::optional<KeyChord> chord(const QString &name) const;
    bool isEnabled(const QString &name) const;
    Status status(const QString &name) const { return m_status.value(name, Status::Off); }

    // The chord as the desktop writes shortcuts: its modifiers in the order Ctrl, Alt, Shift,
    // Meta, each followed by "+", then the key: its fixed text (↩, F5, Space…) or the character
    // the current layout gives it, capitalised; U+FFFD when there is none.
    QString displayText(const KeyChord &chord) const;

signals:
    // A name's chord was released while the name was enabled.
    void released(const QString &name);
    void statusChanged(const QString &name, GlobalShortcutRegistry::Status status);

protected:
    struct Entry {
        std::optional<KeyChord> chord;
        bool enabled = false;
    };
    const QHash<QString, Entry> &entries() const { return m_entries; }
    void setStatus(const QString &name, Status status);
    // Runs after every change of a chord or of an enabled flag.
    virtual void entriesChanged() = 0;
    // The character the current layout gives a key; none for a US layout's character.
    virtual std::optional<QChar> layoutCharacter(int virtualKey) const;

private:
    QHash<QString, Entry> m_entries;
    QHash<QString, Status> m_status;
};

// Chords grabbed on an X11 display's root window (XGrabKey), with the Caps Lock and Num Lock
// variants of each, on a connection of its own read on the main thread. Changes are applied
// together on the next turn of the event loop, so a disable followed by an enable of the same
// chord leaves its grab alone; a chord that another program holds is tried again at each change.
class X11GlobalShortcutRegistry : public GlobalShortcutRegistry {
    Q_OBJECT
public:
    // DISPLAY when the name is empty.
    explicit X11GlobalShortcutRegistry(QString displayName = {}, QObject *parent = nullptr);
    ~X11GlobalShortcutRegistry() override;

    bool isConnected() const;

protected:
    void entriesChanged() override;
    std::optional<QChar> layoutCharacter(int virtualKey) const override;

private:
    struct Grab {
        unsigned keyCode = 0;
        std::uint16_t modifiers = 0;
        bool operator==(const Grab &) const = default;
    };
    std::optional<Grab> grabFor(const KeyChord &chord) const;
    bool grab(const Grab &grab);
    void ungrab(const Grab &grab);
    void apply();
    void readEvents();
    void handleEvents(bool queuedOnly);
    void disconnected();

    std::unique_ptr<XcbConnection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::uint16_t m_altMask = 0x08, m_superMask = 0x40, m_numLockMask = 0;
    std::vector<unsigned> m_pasteKeys;
    QHash<QString, Grab> m_grabs;
    // Key codes pressed through a grab, and the name each belongs to.
    QHash<unsigned, QString> m_pressed;
    bool m_applyScheduled = false;
    bool m_detectableRepeat = false;
};

// A registry without a display: chords the test marks as taken fail, the others work, and the
// test presses them.
class FakeGlobalShortcutRegistry : public GlobalShortcutRegistry {
    Q_OBJECT
public:
    using GlobalShortcutRegistry::GlobalShortcutRegistry;

    // Releases the name's chord as a person would; false when it is not active.
    bool press(const QString &name);
    // The chords other programs hold.
    QList<KeyChord> taken;
    int changes = 0;

protected:
    void entriesChanged() override;
};

} // namespace velmora
