#include "platform/accessibilitytrust.h"
#include "support/testsupport.h"
#include "xvfbserver.h"

using namespace velmora;

namespace {

struct TrustCase {
    const char *name;
    QStringList serverArguments;
    bool expected;
};
void PrintTo(const TrustCase &c, std::ostream *os) {
    *os << c.name;
}

class X11TrustTest : public ::testing::TestWithParam<TrustCase> {};

// Trusted means a display that offers XTest, through which keys are sent.
TEST_P(X11TrustTest, TrustedOnlyWithXTest) {
    if (!test::XvfbServer::isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    test::XvfbServer server(GetParam().serverArguments);
    ASSERT_FALSE(server.display().isEmpty()) << "the X server did not start";
    X11AccessibilityTrust trust(server.display());
    EXPECT_EQ(trust.isTrusted(false), GetParam().expected);
    EXPECT_EQ(trust.isTrusted(true), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, X11TrustTest,
    ::testing::Values(TrustCase{"WithXTest", {}, true},
                      TrustCase{"WithoutXTest", {QStringLiteral("-extension"), QStringLiteral("XTEST")}, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(X11TrustStandaloneTest, NoDisplayIsNotTrusted) {
    X11AccessibilityTrust trust(QStringLiteral(":4093"));
    EXPECT_FALSE(trust.isTrusted(false));
}

} // namespace
