#pragma once

// A private X server and a second X client that holds the keyboard focus and types through
// XTest, for the tests of what listens to the keyboard.

#include "support/testsupport.h"

#include "x11testclient.h"
#include "xvfbserver.h"

#include <memory>

namespace velmora::test {

class X11ClientTest : public ::testing::Test {
protected:
    // Derived fixtures return at once when this skipped or failed (IsSkipped, HasFatalFailure).
    void SetUp() override {
        if (!XvfbServer::isInstalled())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server.display().isEmpty());
        client = std::make_unique<X11TestClient>(server.display());
        ASSERT_TRUE(*client);
        client->takeFocus();
    }

    // A key typed after the others: once it reached the focused window, the server has passed
    // on everything typed before it.
    void marker(const QString &name = QStringLiteral("m")) {
        client->tap(client->keyCode(XStringToKeysym(name.toLatin1().constData())));
        ASSERT_TRUE(client->waitForKey(name));
    }

    XvfbServer server;
    std::unique_ptr<X11TestClient> client;
};

} // namespace velmora::test
