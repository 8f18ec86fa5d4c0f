#pragma once

#include <QString>

#include <memory>

namespace velmora {

// Keeps the machine from idle sleep while long work runs, such as a model download.
class SleepInhibitor {
public:
    // The inhibition lasts as long as its hold.
    class Hold {
    public:
        virtual ~Hold() = default;
    };

    virtual ~SleepInhibitor() = default;
    virtual std::unique_ptr<Hold> begin(const QString &reason) = 0;
};

// Asks logind on the system bus for an "idle:sleep" block inhibitor; without a login manager
// nothing is inhibited and the work goes on.
class LogindSleepInhibitor : public SleepInhibitor {
public:
    std::unique_ptr<Hold> begin(const QString &reason) override;
};

// Counts the holds it hands out.
class FakeSleepInhibitor : public SleepInhibitor {
public:
    std::unique_ptr<Hold> begin(const QString &reason) override {
        ++begun;
        lastReason = reason;
        return std::make_unique<FakeHold>(*this);
    }
    int active() const { return begun - ended; }

    int begun = 0;
    int ended = 0;
    QString lastReason;

private:
    struct FakeHold : Hold {
        explicit FakeHold(FakeSleepInhibitor &owner) : owner(owner) {}
        ~FakeHold() override { ++owner.ended; }
        FakeSleepInhibitor &owner;
    };
};

} // namespace velmora
