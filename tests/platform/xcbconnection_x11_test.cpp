// Reopening a connection to a private X server.

#include "platform/xcbconnection.h"

#include <gtest/gtest.h>

#include "xvfbserver.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kNoDisplay = QStringLiteral(":4242");

TEST(XcbConnectionX11, EnsureOpenKeepsAWorkingConnectionAndReopensAnyOther) {
    if (!XvfbServer::isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbServer server;
    ASSERT_FALSE(server.display().isEmpty());

    std::unique_ptr<XcbConnection> slot;
    EXPECT_FALSE(XcbConnection::ensureOpen(slot, kNoDisplay));
    ASSERT_TRUE(slot);
    EXPECT_TRUE(slot->hasError());

    // A connection that never opened is tried again, here on a display that answers.
    ASSERT_TRUE(XcbConnection::ensureOpen(slot, server.display()));
    ASSERT_TRUE(slot);
    EXPECT_FALSE(slot->hasError());
    const XcbConnection *opened = slot.get();

    // A working one is kept as it is, whatever name is passed.
    EXPECT_TRUE(XcbConnection::ensureOpen(slot, kNoDisplay));
    EXPECT_EQ(slot.get(), opened);
}

} // namespace
