#include "platform/globalshortcutregistry.h"

#include "platform/virtualkeys.h"
#include "platform/xcbconnection.h"
#include "platform/xcbkeymap.h"

#include <QPointer>
#include <QSocketNotifier>

#include <xcb/xcb.h>
// The XKB header names a member "explicit", which C++ reserves.
#define explicit xcb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>

namespace velmora {

QString GlobalShortcutRegistry::toString(Status status) {
    switch (status) {
    case Status::Off: return QStringLiteral("off");
    case Status::Active: return QStringLiteral("active");
    case Status::Taken: return QStringLiteral("taken");
    case Status::Unsupported: return QStringLiteral("unsupported");
    }
    return {};
}

void GlobalShortcutRegistry::disable(const QStringList &names) {
    for (const QString &name : names)
        m_entries[name].enabled = false;
    entriesChanged();
}

void GlobalShortcutRegistry::enable(const QStringList &names) {
    for (const QString &name : names)
        m_entries[name].enabled = true;
    entriesChanged();
}

void GlobalShortcutRegistry::setChord(const QString &name, std::optional<KeyChord> chord) {
    m_entries[name].chord = chord;
    entriesChanged();
}

std::optional<KeyChord> GlobalShortcutRegistry::chord(const QString &name) const {
    auto it = m_entries.find(name);
    return it == m_entries.end() ? std::nullopt : it->chord;
}

bool GlobalShortcutRegistry::isEnabled(const QString &name) const {
    auto it = m_entries.find(name);
    return it != m_entries.end() && it->enabled;
}

QString GlobalShortcutRegistry::displayText(const KeyChord &chord) const {
    QString text;
    if (chord.carbonModifiers & KeyChord::kCommand)
        text += QStringLiteral("Ctrl+");
    if (chord.carbonModifiers & KeyChord::kOption)
        text += QStringLiteral("Alt+");
    if (chord.carbonModifiers & KeyChord::kShift)
        text += QStringLiteral("Shift+");
    if (chord.carbonModifiers & KeyChord::kControl)
        text += QStringLiteral("Meta+");
    if (const std::optional<QString> fixed = VirtualKeys::fixedText(chord.carbonKeyCode)) {
        text += *fixed;
        return text;
    }
    std::optional<QChar> character = layoutCharacter(chord.carbonKeyCode);
    if (!character)
        character = VirtualKeys::usCharacter(chord.carbonKeyCode);
    text += character ? QString(*character).toUpper() : QString(QChar(0xFFFD));
    return text;
}

void GlobalShortcutRegistry::setStatus(const QString &name, Status status) {
    if (m_status.value(name, Status::Off) == status)
        return;
    m_status.insert(name, status);
    emit statusChanged(name, status);
}

std::optional<QChar> GlobalShortcutRegistry::layoutCharacter(int) const {
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// X11.

X11GlobalShortcutRegistry::X11GlobalShortcutRegistry(QString displayName, QObject *parent)
    : GlobalShortcutRegistry(parent), m_connection(std::make_unique<XcbConnection>(displayName)) {
    if (!*m_connection)
        return;
    xcb_connection_t *c = m_connection->get();
    // Without this a held chord would repeat as release-press pairs, each a key-up.
    xcb_xkb_use_extension_reply_t *xkb =
        xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    if (xkb && xkb->supported) {
        xcb_xkb_per_client_flags_reply_t *flags = xcb_xkb_per_client_flags_reply(
            c,
            xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
            nullptr);
        m_detectableRepeat = flags && (flags->value & XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT);
        std::free(flags);
    }
    std::free(xkb);
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11GlobalShortcutRegistry::readEvents);
}

X11GlobalShortcutRegistry::~X11GlobalShortcutRegistry() {
    if (m_connection && !m_connection->hasError()) {
        for (const Grab &g : std::as_const(m_grabs))
            ungrab(g);
        xcb_flush(m_connection->get());
    }
}

bool X11GlobalShortcutRegistry::isConnected() const {
    return m_connection && !m_connection->hasError();
}

void X11GlobalShortcutRegistry::entriesChanged() {
    if (m_applyScheduled)
        return;
    m_applyScheduled = true;
    QMetaObject::invokeMethod(this, &X11GlobalShortcutRegistry::apply, Qt::QueuedConnection);
}

std::optional<QChar> X11GlobalShortcutRegistry::layoutCharacter(int virtualKey) const {
    const std::optional<unsigned> code = VirtualKeys::x11KeyCode(virtualKey);
    if (!code || !isConnected())
        return std::nullopt;
    // Read at each use: the layout may have been switched since.
    const std::optional<XcbKeymap> keymap = XcbKeymap::fetch(m_connection->get());
    if (!keymap)
        return std::nullopt;
    const std::optional<QChar> character = XcbKeymap::character(keymap->symbol(*code));
    // A layout of another script (Cyrillic, Greek…) shows the key as a Latin layout would.
    if (!character || !character->isPrint() || character->unicode() > 0x24F)
        return std::nullopt;
    return character;
}

std::optional<X11GlobalShortcutRegistry::Grab> X11GlobalShortcutRegistry::grabFor(const KeyChord &chord) const {
    // A plain or Shift-only key would be taken from every program; fn is no X11 modifier.
    if (!chord.isUsable() || (chord.carbonModifiers & KeyChord::kFunction))
        return std::nullopt;
    const std::optional<unsigned> code = VirtualKeys::x11KeyCode(chord.carbonKeyCode);
    if (!code)
        return std::nullopt;
    std::uint16_t modifiers = 0;
    if (chord.carbonModifiers & KeyChord::kCommand)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (chord.carbonModifiers & KeyChord::kShift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (chord.carbonModifiers & KeyChord::kOption)
        modifiers |= m_altMask;
    if (chord.carbonModifiers & KeyChord::kControl)
        modifiers |= m_superMask;
    // Ctrl with whichever key types "v" here is the paste chord, whatever its place.
    if (modifiers == XCB_MOD_MASK_CONTROL &&
        std::find(m_pasteKeys.begin(), m_pasteKeys.end(), *code) != m_pasteKeys.end())
        return std::nullopt;
    return Grab{*code, modifiers};
}

bool X11GlobalShortcutRegistry::grab(const Grab &g) {
    // All or nothing: a chord that works only with Num Lock off would puzzle anyone.
    return m_connection->grabKey(xcb_keycode_t(g.keyCode), g.modifiers, m_numLockMask);
}

void X11GlobalShortcutRegistry::ungrab(const Grab &g) {
    m_connection->ungrabKey(xcb_keycode_t(g.keyCode), g.modifiers, m_numLockMask);
}

void X11GlobalShortcutRegistry::apply() {
    m_applyScheduled = false;
    if (!isConnected()) {
        const QHash<QString, Entry> all = entries();
        for (auto it = all.begin(); it != all.end(); ++it)
            setStatus(it.key(), it->enabled && it->chord ? Status::Unsupported : Status::Off);
        return;
    }
    xcb_connection_t *c = m_connection->get();
    if (const std::optional<XcbKeymap> keymap = XcbKeymap::fetch(c)) {
        // Ungrab with the masks the grabs were made with, before they may move.
        const XcbKeymap::ModifierMasks masks = keymap->modifierMasks(c);
        if (masks.alt != m_altMask || masks.super != m_superMask || masks.numLock != m_numLockMask) {
            for (const Grab &g : std::as_const(m_grabs))
                ungrab(g);
            m_grabs.clear();
            m_altMask = masks.alt;
            m_superMask = masks.super;
            m_numLockMask = masks.numLock;
        }
        m_pasteKeys = keymap->keyCodes(XK_v);
        if (m_pasteKeys.empty())
            m_pasteKeys = {*VirtualKeys::x11KeyCode(VirtualKeys::kV)};
    }

    const QStringList names = entries().keys();
    for (const QString &name : names) {
        const Entry entry = entries().value(name);
        std::optional<Grab> wanted;
        Status status = Status::Off;
        if (entry.enabled && entry.chord) {
            wanted = grabFor(*entry.chord);
            status = wanted ? Status::Taken : Status::Unsupported;
        }
        auto held = m_grabs.find(name);
        if (held != m_grabs.end() && (!wanted || *held != *wanted)) {
            ungrab(*held);
            m_grabs.erase(held);
            held = m_grabs.end();
        }
        if (wanted) {
            if (held != m_grabs.end() || grab(*wanted)) {
                m_grabs.insert(name, *wanted);
                status = Status::Active;
            }
        }
        setStatus(name, status);
    }
    xcb_flush(c);
    if (m_connection->hasError())
        disconnected();
    else
        handleEvents(true);
}

void X11GlobalShortcutRegistry::readEvents() {
    handleEvents(false);
}

void X11GlobalShortcutRegistry::handleEvents(bool queuedOnly) {
    if (!isConnected())
        return;
    xcb_connection_t *c = m_connection->get();
    QStringList releasedNames;
    bool layoutChanged = false;
    while (xcb_generic_event_t *event = queuedOnly ? xcb_poll_for_queued_event(c) : xcb_poll_for_event(c)) {
        switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS: {
            const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(event);
            const std::uint16_t held = press->state & 0xFF & ~(XCB_MOD_MASK_LOCK | m_numLockMask);
            if (!m_pressed.contains(press->detail)) {
                for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it) {
                    if (it->keyCode == press->detail && it->modifiers == held) {
                        m_pressed.insert(press->detail, it.key());
                        break;
                    }
                }
            }
            break;
        }
        case XCB_KEY_RELEASE: {
            const auto *release = reinterpret_cast<const xcb_key_release_event_t *>(event);
            auto it = m_pressed.find(release->detail);
            if (it != m_pressed.end()) {
                releasedNames.append(*it);
                m_pressed.erase(it);
            }
            break;
        }
        case XCB_MAPPING_NOTIFY: layoutChanged = true; break;
        default: break;
        }
        std::free(event);
    }
    if (m_connection->hasError()) {
        disconnected();
        return;
    }
    if (layoutChanged)
        entriesChanged();
    QPointer<X11GlobalShortcutRegistry> self(this);
    for (const QString &name : std::as_const(releasedNames)) {
        if (!self)
            return;
        if (isEnabled(name))
            emit released(name);
    }
}

void X11GlobalShortcutRegistry::disconnected() {
    if (m_notifier)
        m_notifier->setEnabled(false);
    m_grabs.clear();
    m_pressed.clear();
    const QHash<QString, Entry> all = entries();
    for (auto it = all.begin(); it != all.end(); ++it)
        setStatus(it.key(), it->enabled && it->chord ? Status::Unsupported : Status::Off);
}

// ---------------------------------------------------------------------------------------------
// Fake.

bool FakeGlobalShortcutRegistry::press(const QString &name) {
    if (status(name) != Status::Active)
        return false;
    emit released(name);
    return true;
}

void FakeGlobalShortcutRegistry::entriesChanged() {
    ++changes;
    const QHash<QString, Entry> all = entries();
    for (auto it = all.begin(); it != all.end(); ++it) {
        Status status = Status::Off;
        if (it->enabled && it->chord) {
            if (!it->chord->isUsable())
                status = Status::Unsupported;
            else if (taken.contains(*it->chord))
                status = Status::Taken;
            else
                status = Status::Active;
        }
        setStatus(it.key(), status);
    }
}

} // namespace velmora
