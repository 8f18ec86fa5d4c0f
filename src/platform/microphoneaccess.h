#pragma once

#include <functional>
#include <vector>

namespace velmora {

// The microphone grant. Linux has no per-application microphone permission, so the real
// implementation always reports it authorised; the fake lets tests play every answer.
class MicrophoneAccess {
public:
    // Stored values match the platform's authorisation status numbers.
    enum class Status { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

    virtual ~MicrophoneAccess() = default;
    virtual Status status() = 0;
    // Asks the user; done receives the answer, possibly later and on the main thread.
    virtual void request(std::function<void(bool granted)> done) = 0;
};

class LinuxMicrophoneAccess : public MicrophoneAccess {
public:
    Status status() override { return Status::Authorized; }
    void request(std::function<void(bool)> done) override;
};

// Holds each request until the test answers it.
class FakeMicrophoneAccess : public MicrophoneAccess {
public:
    Status status() override { return current; }
    void request(std::function<void(bool)> done) override {
        ++requests;
        pending.push_back(std::move(done));
    }
    // Sets the status the answer leads to and answers every waiting request.
    void answer(bool granted) {
        current = granted ? Status::Authorized : Status::Denied;
        auto waiting = std::move(pending);
        pending.clear();
        for (auto &done : waiting)
            done(granted);
    }

    Status current = Status::NotDetermined;
    int requests = 0;
    std::vector<std::function<void(bool)>> pending;
};

} // namespace velmora
