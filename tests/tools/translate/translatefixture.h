#pragma once

// A Translate session on the stand-in language-model server and, once attached, a real Library
// in the test's temporary home.

#include "tools/translate/translatemeasurements.h"
#include "tools/translate/translatesession.h"

#include "core/log.h"
#include "dictation/wordcount.h"
#include "library/library.h"
#include "library/records.h"
#include "library/storedruns.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/standinserver.h"
#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace velmora::test {

class TranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = standInServer(runTimings());
        runtime = standInRuntime(*server, writer, [this] { return modelReady; });
        write({{"reply", "Hello."}});
    }

    void TearDown() override {
        if (m_session)
            run(m_session->flush());
        m_session.reset();
        run(runtime->prepareToQuit());
    }

    // The writing model's script (see helpers/llm-server); its requests are recorded.
    void write(QJsonObject script) { writer.setScript(std::move(script)); }

    // The session, built at first use with the test's preview state and budget.
    TranslateSession &session() {
        if (!m_session) {
            TranslateSession::Dependencies deps;
            deps.llm = runtime.get();
            deps.textModelName = [] { return QStringLiteral("writer-q4.gguf"); };
            deps.previewState = previewState;
            deps.budget = budget;
            deps.editDelay = editDelay;
            m_session = std::make_unique<TranslateSession>(std::move(deps));
        }
        return *m_session;
    }

    // Opens the Library in the temporary home and hands it to the session.
    void attach() {
        library = Library::open(Library::defaultRoot());
        ASSERT_TRUE(library->status().isReady());
        run(session().attach(library));
    }

    // Quits the session; the next session() is a new one.
    void resetSession() {
        if (m_session)
            run(m_session->flush());
        m_session.reset();
    }

    // The next launch: the session quits (its flush) and a new one starts on a reopened Library.
    void relaunch() {
        if (m_session)
            run(m_session->flush());
        m_session.reset();
        library.reset();
        attach();
    }

    // Starts a run of the text and waits until it has been recorded.
    void translate(const QString &text) {
        session().setText(text);
        ASSERT_TRUE(session().canTranslate());
        session().start();
        ASSERT_TRUE(session().isRunning());
        ASSERT_TRUE(waitForEnd());
    }
    bool waitForEnd() {
        return waitUntil([this] { return !m_session->isRunning(); }, std::chrono::seconds(60));
    }

    // The request bodies the stand-in received.
    QList<QJsonObject> requests() const { return writer.requestObjects(); }

    // The Translate tasks in History, oldest first.
    QList<QUuid> storedTasks() { return test::storedTasks(*library, QStringLiteral("translate")); }
    StoredRun stored(const QUuid &id) { return storedRun(*library, id); }
    StoredRun onlyRun() { return onlyStoredRun(*library, QStringLiteral("translate")); }
    std::optional<LibraryDraft> storedDraft() {
        return run(library->read([](SQLite::Database &db) { return LibraryDraft::fetch(db, "translate"); }));
    }

    TempHome home;
    LogCapture log;
    StandIn writer;
    bool modelReady = true;
    std::optional<QString> previewState;
    std::function<std::chrono::nanoseconds(const LLMChatRequest &)> budget;
    std::chrono::milliseconds editDelay = TranslateSession::kEditDelay;
    std::unique_ptr<LLMServer> server;
    std::unique_ptr<LLMRuntime> runtime;
    std::shared_ptr<Library> library;

private:
    std::unique_ptr<TranslateSession> m_session;
};

} // namespace velmora::test
