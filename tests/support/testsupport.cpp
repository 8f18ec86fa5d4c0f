#include "support/testsupport.h"

#include "core/threadcontext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora::test {

TempHome::TempHome()
    : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME")), m_oldTmp(qgetenv("TMPDIR")) {
    QDir().mkpath(dataHome());
    QDir().mkpath(configHome());
    QDir().mkpath(tempDir());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("TMPDIR", QFile::encodeName(tempDir()));
}

namespace {
void restore(const char *name, const QByteArray &old) {
    if (old.isNull())
        qunsetenv(name);
    else
        qputenv(name, old);
}
} // namespace

TempHome::~TempHome() {
    restore("XDG_DATA_HOME", m_oldData);
    restore("XDG_CONFIG_HOME", m_oldConfig);
    restore("TMPDIR", m_oldTmp);
    // Folders made read-only by a test must not keep the temporary folder from going.
    QDir(m_dir.path()).removeRecursively();
}

bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    while (!predicate()) {
        if (deadline.hasExpired())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void drainPostedEvents() {
    ThreadContext::drainCurrent(std::chrono::seconds(5));
}

namespace {
class DrainAfterEachTest : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &) override { drainPostedEvents(); }
};
} // namespace

void installListeners() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new DrainAfterEachTest);
}

void spin(std::chrono::milliseconds duration) {
    QDeadlineTimer deadline(duration);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QString startAndReadFirstLine(QProcess &process) {
    process.start();
    if (!process.waitForStarted(5000))
        return {};
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(10000))
        out += process.readAllStandardOutput();
    if (!out.contains('\n'))
        return {};
    return QString::fromUtf8(out.left(out.indexOf('\n')).trimmed());
}

void endProcess(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(2000);
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "could not write " << path.toStdString();
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString helperPath(const QString &name) {
    QString dir = qEnvironmentVariable("VELMORA_HELPERS_DIR");
#ifdef VELMORA_HELPERS_DIR
    if (dir.isEmpty())
        dir = QStringLiteral(VELMORA_HELPERS_DIR);
#endif
    return dir + QLatin1Char('/') + name;
}

} // namespace velmora::test
