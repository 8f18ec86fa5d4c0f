#pragma once

// Whether another program is taking every key for itself (a password prompt, a screen locker):
// what the desktop calls secure keyboard entry. Dictation neither starts nor pastes then.

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace velmora {

class XcbConnection;

class SecureInput {
public:
    virtual ~SecureInput() = default;
    // Safe to call from any thread.
    virtual bool isEnabled() = 0;
};

// On X11 such a program holds an active grab of the whole keyboard. There is no way to ask who
// holds one, so this tries to grab the keyboard for an instant itself: refused means someone
// else holds it; granted is let go at once. Without a display nothing is secure.
class X11SecureInput : public SecureInput {
public:
    // DISPLAY when the name is empty.
    explicit X11SecureInput(QString displayName = {});
    ~X11SecureInput() override;
    bool isEnabled() override;

private:
    QString m_displayName;
    std::mutex m_mutex;
    std::unique_ptr<XcbConnection> m_connection;
};

class FakeSecureInput : public SecureInput {
public:
    bool isEnabled() override {
        ++checks;
        return enabled;
    }
    std::atomic<bool> enabled = false;
    std::atomic<int> checks = 0;
};

} // namespace velmora
