#include "platform/accessibilitytrust.h"
#include "support/testsupport.h"

#include <QProcess>
#include <QStandardPaths>

using namespace velmora;

namespace {

// A private X server for one test, on the display number it picks itself.
class Xvfb {
public:
    explicit Xvfb(const QStringList &extra) {
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("Xvfb")));
        m_process.setArguments(QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                           QStringLiteral("-noreset")} +
                               extra);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(10000))
            out += m_process.readAllStandardOutput();
        if (out.contains('\n'))
            m_display = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    }
    ~Xvfb() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
    const QString &display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

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
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    Xvfb server(GetParam().serverArguments);
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
