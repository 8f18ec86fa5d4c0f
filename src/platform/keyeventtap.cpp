#include "platform/keyeventtap.h"

#include "platform/keychord.h"
#include "platform/virtualkeys.h"
#include "platform/xcbconnection.h"
#include "platform/xcbkeymap.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>
// The XKB header names a member "explicit", which C++ reserves.
#define explicit xcb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <X11/keysym.h>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace velmora {

namespace {

// What a key does for the taps.
enum class Role { Other, Modifier, Lock };

struct KeyRole {
    Role role = Role::Other;
    quint64 flag = 0;
};

KeyRole roleOf(std::uint32_t symbol) {
    switch (symbol) {
    case XK_Shift_L:
    case XK_Shift_R: return {Role::Modifier, KeyChord::kShiftFlag};
    case XK_Control_L:
    case XK_Control_R: return {Role::Modifier, KeyChord::kCommandFlag};
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_ISO_Level5_Shift:
    case XK_Mode_switch: return {Role::Modifier, KeyChord::kOptionFlag};
    case XK_Super_L:
    case XK_Super_R:
    case XK_Hyper_L:
    case XK_Hyper_R: return {Role::Modifier, KeyChord::kControlFlag};
    case XK_Caps_Lock:
    case XK_Shift_Lock:
    case XK_Num_Lock:
    case XK_Scroll_Lock: return {Role::Lock, 0};
    default: return {};
    }
}

class X11KeyEventTap : public KeyEventTap {
public:
    X11KeyEventTap(KeyEventTaps::Kind kind, KeyTapHandler &handler) : m_kind(kind), m_handler(handler) {}

    ~X11KeyEventTap() override {
        if (m_thread.joinable()) {
            const quint64 one = 1;
            [[maybe_unused]] auto n = ::write(m_wake, &one, sizeof one);
            m_thread.join();
        }
        if (m_wake >= 0)
            ::close(m_wake);
        if (m_connection && !m_connection->hasError() && m_escapeGrabNumLock) {
            m_connection->ungrabKey(xcb_keycode_t(m_escapeKey), 0, *m_escapeGrabNumLock);
            xcb_flush(m_connection->get());
        }
    }

    // Everything that can fail happens here, on the caller's thread; the thread only reads.
    bool start(const QString &displayName) {
        m_connection = std::make_unique<XcbConnection>(displayName);
        if (!*m_connection)
            return false;
        xcb_connection_t *c = m_connection->get();
        std::optional<XcbKeymap> keymap = XcbKeymap::fetch(c);
        if (!keymap)
            return false;
        readRoles(*keymap);
        m_masks = keymap->modifierMasks(c);
        if (!(m_kind == KeyEventTaps::Kind::Modifiers ? watchRawKeys() : grabEscape()))
            return false;

        // Keys already held when the tap starts count as held.
        if (xcb_query_keymap_reply_t *held = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr)) {
            for (unsigned code = 0; code < 256; ++code)
                if (held->keys[code / 8] & (1u << (code % 8)))
                    m_down.set(code);
            std::free(held);
        }
        m_flags = currentFlags();

        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_wake < 0)
            return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

private:
    bool watchRawKeys() {
        xcb_connection_t *c = m_connection->get();
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_input_id);
        if (!extension || !extension->present)
            return false;
        m_inputOpcode = extension->major_opcode;
        // Since 2.1 raw events reach every client that asks, whoever holds a grab.
        xcb_input_xi_query_version_reply_t *version =
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
        const bool recent =
            version && (version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 1));
        std::free(version);
        if (!recent)
            return false;
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t bits;
        } mask{};
        mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
        mask.head.mask_len = 1;
        mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
        if (xcb_generic_error_t *error =
                xcb_request_check(c, xcb_input_xi_select_events_checked(c, m_connection->root(), 1, &mask.head))) {
            std::free(error);
            return false;
        }
        return true;
    }

    bool grabEscape() {
        xcb_connection_t *c = m_connection->get();
        // A held Escape then repeats as presses alone, not as release-press pairs.
        xcb_xkb_use_extension_reply_t *xkb = xcb_xkb_use_extension_reply(
            c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
        if (xkb && xkb->supported)
            std::free(xcb_xkb_per_client_flags_reply(
                c,
                xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                         XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
                nullptr));
        std::free(xkb);

        m_escapeKey = *VirtualKeys::x11KeyCode(VirtualKeys::kEscape);
        if (!m_connection->grabKey(xcb_keycode_t(m_escapeKey), 0, m_masks.numLock)) {
            // Another program holds Escape; it keeps what it had.
            xcb_flush(c);
            return false;
        }
        m_escapeGrabNumLock = m_masks.numLock;
        return true;
    }

    // The modifiers of a core key event's state.
    quint64 flagsOf(std::uint16_t state) const {
        quint64 flags = 0;
        if (state & XCB_MOD_MASK_SHIFT)
            flags |= KeyChord::kShiftFlag;
        if (state & XCB_MOD_MASK_CONTROL)
            flags |= KeyChord::kCommandFlag;
        if (state & m_masks.alt)
            flags |= KeyChord::kOptionFlag;
        if (state & m_masks.super)
            flags |= KeyChord::kControlFlag;
        return flags;
    }

    void readRoles(const XcbKeymap &keymap) {
        m_roles.fill({});
        for (unsigned code = 0; code < 256; ++code)
            m_roles[code] = roleOf(keymap.symbol(code));
        // Right Ctrl, by its place, is the fn key whatever the layout makes of it.
        const unsigned fn = *VirtualKeys::x11KeyCode(VirtualKeys::kFunction);
        m_roles[fn] = {Role::Modifier, KeyChord::kFunctionFlag};
    }

    quint64 currentFlags() const {
        quint64 flags = 0;
        for (unsigned code = 0; code < 256; ++code)
            if (m_down.test(code) && m_roles[code].role == Role::Modifier)
                flags |= m_roles[code].flag;
        return flags;
    }

    void run() {
        pthread_setname_np(pthread_self(),
                           m_kind == KeyEventTaps::Kind::Modifiers ? "Globe key tap" : "Escape key tap");
        xcb_connection_t *c = m_connection->get();
        std::array<pollfd, 2> fds{pollfd{xcb_get_file_descriptor(c), POLLIN, 0}, pollfd{m_wake, POLLIN, 0}};
        for (;;) {
            // Events read along with an earlier reply wait in the queue, not in the socket.
            while (xcb_generic_event_t *event = xcb_poll_for_queued_event(c))
                dispatch(event);
            if (xcb_connection_has_error(c)) {
                // The display went away: the tap stops as one the system switched off.
                KeyTapEvent off;
                off.type = KeyTapEvent::Type::DisabledByTimeout;
                m_handler.handleKeyTapEvent(off);
                return;
            }
            if (::poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[1].revents & POLLIN)
                return;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
                while (xcb_generic_event_t *event = xcb_poll_for_event(c))
                    dispatch(event);
        }
    }

    void dispatch(xcb_generic_event_t *event) {
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == XCB_GE_GENERIC) {
            const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
            if (generic->extension == m_inputOpcode) {
                const auto *raw = reinterpret_cast<const xcb_input_raw_key_press_event_t *>(event);
                if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS)
                    rawKey(raw->detail, true);
                else if (generic->event_type == XCB_INPUT_RAW_KEY_RELEASE)
                    rawKey(raw->detail, false);
            }
        } else if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            // Keys that came through the Escape grab.
            const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
            grabbedKey(key->detail, type == XCB_KEY_PRESS, key->state);
        } else if (type == XCB_MAPPING_NOTIFY) {
            if (std::optional<XcbKeymap> keymap = XcbKeymap::fetch(m_connection->get())) {
                readRoles(*keymap);
                m_masks = keymap->modifierMasks(m_connection->get());
            }
        }
        std::free(event);
    }

    void grabbedKey(unsigned code, bool down, std::uint16_t state) {
        const bool repeat = down && m_down.test(code);
        m_down.set(code, down);
        if (m_roles[code].role != Role::Other)
            return;
        if (down)
            ++m_keyDowns;
        KeyTapEvent event;
        event.type = down ? KeyTapEvent::Type::KeyDown : KeyTapEvent::Type::KeyUp;
        event.keyCode = VirtualKeys::virtualKey(code).value_or(-1);
        event.autorepeat = repeat;
        event.flags = flagsOf(state);
        event.keyDowns = m_keyDowns;
        m_handler.handleKeyTapEvent(event);
    }

    void rawKey(unsigned code, bool down) {
        if (code > 255)
            return;
        const bool repeat = down && m_down.test(code);
        m_down.set(code, down);
        const KeyRole role = m_roles[code];
        if (role.role == Role::Lock)
            return;
        if (role.role == Role::Other) {
            if (down)
                ++m_keyDowns;
            return;
        }
        if (repeat)
            return;
        m_flags = currentFlags();
        KeyTapEvent event;
        event.type = KeyTapEvent::Type::FlagsChanged;
        event.keyCode = VirtualKeys::virtualKey(code).value_or(-1);
        event.flags = m_flags;
        event.keyDowns = m_keyDowns;
        m_handler.handleKeyTapEvent(event);
    }

    const KeyEventTaps::Kind m_kind;
    KeyTapHandler &m_handler;
    std::unique_ptr<XcbConnection> m_connection;
    std::uint8_t m_inputOpcode = 0;
    XcbKeymap::ModifierMasks m_masks;
    // The Num Lock mask Escape was grabbed with, while it is grabbed.
    std::optional<std::uint16_t> m_escapeGrabNumLock;
    unsigned m_escapeKey = 0;
    int m_wake = -1;
    std::thread m_thread;

    // Touched by the tap's thread only, once it runs.
    std::array<KeyRole, 256> m_roles{};
    std::bitset<256> m_down;
    quint64 m_flags = 0;
    quint32 m_keyDowns = 0;
};

} // namespace

X11KeyEventTaps::X11KeyEventTaps(QString displayName) : m_displayName(std::move(displayName)) {}

std::unique_ptr<KeyEventTap> X11KeyEventTaps::create(Kind kind, KeyTapHandler &handler) {
    auto tap = std::make_unique<X11KeyEventTap>(kind, handler);
    if (!tap->start(m_displayName))
        return nullptr;
    return tap;
}

std::optional<bool> X11KeyEventTaps::fnKeyHasAction() {
    XcbConnection connection(m_displayName);
    if (!connection)
        return std::nullopt;
    const std::optional<XcbKeymap> keymap = XcbKeymap::fetch(connection.get());
    if (!keymap)
        return std::nullopt;
    const std::uint32_t symbol = keymap->symbol(*VirtualKeys::x11KeyCode(VirtualKeys::kFunction));
    return symbol != 0 && symbol != XK_Control_R;
}

// ---------------------------------------------------------------------------------------------
// Fake.

struct FakeKeyEventTaps::Shared {
    std::mutex mutex;
    std::map<Kind, KeyTapHandler *> live;
    std::map<Kind, int> created;
};

namespace {
class FakeTap : public KeyEventTap {
public:
    explicit FakeTap(std::function<void()> end) : m_end(std::move(end)) {}
    ~FakeTap() override { m_end(); }

private:
    std::function<void()> m_end;
};
} // namespace

FakeKeyEventTaps::FakeKeyEventTaps() : m_shared(std::make_shared<Shared>()) {}
FakeKeyEventTaps::~FakeKeyEventTaps() = default;

std::unique_ptr<KeyEventTap> FakeKeyEventTaps::create(Kind kind, KeyTapHandler &handler) {
    if (std::find(refused.begin(), refused.end(), kind) != refused.end())
        return nullptr;
    std::shared_ptr<Shared> shared = m_shared;
    {
        std::lock_guard lock(shared->mutex);
        shared->live[kind] = &handler;
        ++shared->created[kind];
    }
    KeyTapHandler *mine = &handler;
    return std::make_unique<FakeTap>([shared, kind, mine] {
        std::lock_guard lock(shared->mutex);
        auto it = shared->live.find(kind);
        if (it != shared->live.end() && it->second == mine)
            shared->live.erase(it);
    });
}

bool FakeKeyEventTaps::isRunning(Kind kind) const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->live.count(kind) != 0;
}

int FakeKeyEventTaps::created(Kind kind) const {
    std::lock_guard lock(m_shared->mutex);
    auto it = m_shared->created.find(kind);
    return it == m_shared->created.end() ? 0 : it->second;
}

std::optional<bool> FakeKeyEventTaps::send(Kind kind, const KeyTapEvent &event) {
    KeyTapHandler *handler = nullptr;
    {
        std::lock_guard lock(m_shared->mutex);
        auto it = m_shared->live.find(kind);
        if (it == m_shared->live.end())
            return std::nullopt;
        handler = it->second;
    }
    return handler->handleKeyTapEvent(event);
}

void FakeKeyEventTaps::tapFn() {
    KeyTapEvent event;
    event.type = KeyTapEvent::Type::FlagsChanged;
    event.keyCode = VirtualKeys::kFunction;
    event.flags = KeyChord::kFunctionFlag;
    send(Kind::Modifiers, event);
    event.flags = 0;
    send(Kind::Modifiers, event);
}

std::optional<bool> FakeKeyEventTaps::pressEscape() {
    KeyTapEvent event;
    event.type = KeyTapEvent::Type::KeyDown;
    event.keyCode = VirtualKeys::kEscape;
    const std::optional<bool> swallowed = send(Kind::Escape, event);
    event.type = KeyTapEvent::Type::KeyUp;
    send(Kind::Escape, event);
    return swallowed;
}

} // namespace velmora
