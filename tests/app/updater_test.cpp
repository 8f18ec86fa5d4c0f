#include "app/updater.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;

namespace {
class FakeController : public UpdateController {
public:
    bool canCheckForUpdates() const override { return can; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool on) override {
        automatic = on;
        emit automaticallyChecksForUpdatesChanged();
    }
    void checkForUpdates() override { ++checks; }
    void setCan(bool value) {
        can = value;
        emit canCheckForUpdatesChanged();
    }
    bool can = true;
    bool automatic = false;
    int checks = 0;
};
} // namespace

// Only the exact word "YES" switches the updater on; every other value leaves no controller
// and nothing to check with.
TEST(Updater, OnlyTheExactSwitchBuildsAController) {
    for (const char *value : {"", "yes", "Yes", "YES ", "true", "1", "NO"}) {
        int built = 0;
        Updater updater(QString::fromLatin1(value), [&built] {
            ++built;
            return std::make_unique<FakeController>();
        });
        EXPECT_FALSE(updater.hasController()) << value;
        EXPECT_FALSE(updater.canCheckForUpdates()) << value;
        EXPECT_EQ(built, 0) << value;
        updater.checkForUpdates();
    }
    EXPECT_TRUE(Updater::buildSwitch().isEmpty()) << "a shipped build has the updater off";
}

TEST(Updater, MirrorsTheFrameworkAndChecksOnlyWhenItMay) {
    FakeController *controller = nullptr;
    Updater updater(QStringLiteral("YES"), [&controller] {
        auto c = std::make_unique<FakeController>();
        controller = c.get();
        return c;
    });
    ASSERT_TRUE(updater.hasController());
    EXPECT_TRUE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_EQ(controller->checks, 1);

    controller->setCan(false);
    updater.checkForUpdates();
    EXPECT_EQ(controller->checks, 1);

    QSignalSpy changed(&updater, &Updater::changed);
    updater.setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(updater.automaticallyChecksForUpdates());
    EXPECT_EQ(changed.count(), 1);
}
