#pragma once

#include <QString>

#include <memory>

namespace velmora {

// Whether the program may watch global keys and send synthetic ones. On Linux that means an
// X11 display with the XTest extension; there is no system prompt to show.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    // The trust check; prompt asks the system to offer the grant where it can.
    virtual bool isTrusted(bool prompt) = 0;
};

// The real check against the X11 display named by DISPLAY (or the given one).
class X11AccessibilityTrust : public AccessibilityTrust {
public:
    explicit X11AccessibilityTrust(QString displayName = {});
    bool isTrusted(bool prompt) override;

private:
    QString m_displayName;
};

// A trust state set by the test, counting the checks that asked for a prompt.
class FakeAccessibilityTrust : public AccessibilityTrust {
public:
    bool isTrusted(bool prompt) override {
        ++checks;
        if (prompt)
            ++prompts;
        return trusted;
    }
    bool trusted = false;
    int checks = 0;
    int prompts = 0;
};

} // namespace velmora
