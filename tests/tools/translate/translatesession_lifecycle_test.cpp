#include "translatefixture.h"

#include "core/uuid.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kJapanese = QStringLiteral("今日は晴れています。");

} // namespace

// MARK: - Drafts

TEST_F(TranslateTest, TheDraftComesBackAfterARestartWithItsTask) {
    attach();
    session().setTone(TranslateTone::Casual);
    translate(kJapanese);
    const QUuid task = *session().taskId();
    session().editResult(QStringLiteral("Sunny today."));

    relaunch();
    TranslateSession &s = session();
    EXPECT_EQ(s.text(), kJapanese);
    EXPECT_EQ(s.result(), QStringLiteral("Sunny today."));
    EXPECT_EQ(s.tone(), TranslateTone::Casual);
    EXPECT_EQ(s.chosenSource(), std::nullopt);
    EXPECT_EQ(s.detected(), TranslateLanguage::Japanese);
    EXPECT_EQ(s.taskId(), task);
    EXPECT_FALSE(s.isEdited());
    EXPECT_EQ(stored(task).output(), QStringLiteral("Sunny today."));

    // An edit of the restored result updates that task after the edit delay.
    s.editResult(QStringLiteral("Clear skies today."));
    ASSERT_TRUE(waitUntil([&] { return stored(task).output() == QStringLiteral("Clear skies today."); }));
}

TEST_F(TranslateTest, TheStoredDraftIsWhatThePageHolds) {
    attach();
    session().setTarget(TranslateLanguage::Japanese);
    session().setChosenSource(TranslateLanguage::English);
    session().setText(QStringLiteral("draft text"));
    run(session().flush());
    const auto row = storedDraft();
    ASSERT_TRUE(row);
    EXPECT_EQ(row->version, 1);
    const QJsonObject json = QJsonDocument::fromJson(row->content.toUtf8()).object();
    EXPECT_EQ(
        json,
        (QJsonObject{
            {"source", "draft text"}, {"sourceMode", "en"}, {"target", "ja"}, {"tone", "natural"}, {"result", ""}}));

    // An empty page deletes it.
    session().clear();
    run(session().flush());
    EXPECT_FALSE(storedDraft());
    relaunch();
    EXPECT_EQ(session().text(), QString());
}

TEST_F(TranslateTest, TextArrivingBeforeTheLibraryWinsOverTheStoredDraft) {
    attach();
    session().setText(QStringLiteral("old draft"));
    relaunch();
    ASSERT_EQ(session().text(), QStringLiteral("old draft"));
    run(session().flush());

    // The next launch: text is sent over before the Library opens.
    run(session().flush());
    resetSession();
    run(session().receive(kJapanese, false));
    library = Library::open(Library::defaultRoot());
    run(session().attach(library));
    EXPECT_EQ(session().text(), kJapanese);
    run(session().flush());
    const auto row = storedDraft();
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->content.contains(kJapanese));
}

TEST_F(TranslateTest, ADamagedOrForeignDraftGivesAnEmptyPage) {
    struct Case {
        const char *name;
        QString content;
        qint64 version;
        bool logged;
    } cases[] = {
        {"not json", QStringLiteral("{oops"), 1, true},
        {"unknown target",
         QStringLiteral(R"({"source":"a","sourceMode":"auto","target":"fr","tone":"natural",)"
                        R"("result":""})"),
         1, true},
        {"other version",
         QStringLiteral(R"({"source":"a","sourceMode":"auto","target":"en","tone":"natural",)"
                        R"("result":""})"),
         2, false},
    };
    attach();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        resetSession();
        LibraryDraft row{QStringLiteral("translate"), c.version, c.content, QDateTime::currentDateTimeUtc()};
        run(library->write([row](SQLite::Database &db) { row.save(db); }));
        log.clear();
        run(session().attach(library));
        EXPECT_EQ(session().text(), QString());
        EXPECT_EQ(session().target(), TranslateLanguage::English);
        const QStringList lines = log.messages("library");
        const bool logged = std::any_of(lines.begin(), lines.end(), [](const QString &l) {
            return l.startsWith(QStringLiteral("Draft load failed (translate): "));
        });
        EXPECT_EQ(logged, c.logged) << lines.join('\n').toStdString();
    }
}

// MARK: - Text from other tools

TEST_F(TranslateTest, ReceivingWhileStreamingRecordsThePartialRunThenTranslatesTheNewText) {
    attach();
    write({{"tokens", QJsonArray{"one ", "two ", "three ", "four ", "five"}}, {"tokenDelayMs", 300}});
    TranslateSession &s = session();
    s.setChosenSource(TranslateLanguage::Japanese);
    s.setText(kJapanese);
    s.start();
    ASSERT_TRUE(waitUntil([&] { return !s.result().isEmpty(); }, std::chrono::seconds(30)));
    const QString english = QStringLiteral("Good morning.");
    QSignalSpy running(&s, &TranslateSession::runningChanged);
    auto receiving = s.receive(english, true);
    run(std::move(receiving));
    // The old run ended (and was recorded) before the new text arrived; the new one runs.
    EXPECT_EQ(running.size(), 2);
    EXPECT_TRUE(s.isRunning());
    EXPECT_EQ(s.text(), english);
    EXPECT_EQ(s.result(), QString());
    EXPECT_EQ(s.chosenSource(), std::nullopt);
    EXPECT_EQ(s.detected(), TranslateLanguage::English);
    EXPECT_EQ(s.target(), TranslateLanguage::Japanese);
    const QList<QUuid> tasks = storedTasks();
    ASSERT_EQ(tasks.size(), 1);
    EXPECT_EQ(stored(tasks.first()).outcome(), ActivityEvent::Outcome::Partial);
    EXPECT_EQ(stored(tasks.first()).artifact(LibraryArtifact::Role::Input)->text, kJapanese);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(storedTasks().size(), 2);
}

TEST_F(TranslateTest, ReceivingTooLongATextShowsItWithoutTranslating) {
    QString longText(5001, QLatin1Char('a'));
    run(session().receive(longText, true));
    EXPECT_EQ(session().text(), longText);
    EXPECT_FALSE(session().isRunning());
    EXPECT_TRUE(requests().isEmpty());
}

TEST_F(TranslateTest, QuittingWhileStreamingStopsAndRecordsTheRunBeforeTheServerStops) {
    attach();
    write({{"tokens", QJsonArray{"one ", "two ", "three ", "four ", "five"}}, {"tokenDelayMs", 300}});
    session().setText(kJapanese);
    session().start();
    ASSERT_TRUE(waitUntil([&] { return !session().result().isEmpty(); }, std::chrono::seconds(30)));
    run(session().flush());
    EXPECT_FALSE(session().isRunning());
    EXPECT_EQ(runtime->holds(), 0);
    run(runtime->prepareToQuit());
    const StoredRun stored = onlyRun();
    EXPECT_EQ(stored.outcome(), ActivityEvent::Outcome::Partial);
    EXPECT_EQ(stored.output(), session().result());
    const auto row = storedDraft();
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->content.contains(uuidString(*session().taskId())));
}

// MARK: - Without History

TEST_F(TranslateTest, AnUnavailableLibraryTranslatesWithoutSaving) {
    writeFile(Library::defaultRoot(), "in the way");
    library = Library::open(Library::defaultRoot());
    ASSERT_FALSE(library->status().isReady());
    QSignalSpy note(&session(), &TranslateSession::saveNoteChanged);
    run(session().attach(library));
    EXPECT_TRUE(session().isHistoryUnavailable());
    EXPECT_EQ(session().saveNote(), QStringLiteral("History can't be opened, so translations aren't saved."));
    EXPECT_EQ(note.size(), 1);
    translate(kJapanese);
    EXPECT_EQ(session().result(), "Hello.");
    EXPECT_EQ(session().taskId(), std::nullopt);
    EXPECT_EQ(session().drafts(), nullptr);
    EXPECT_TRUE(log.contains("translate", QStringLiteral("Translate started: 10 chars, ja → en, tone natural")));
}

TEST_F(TranslateTest, PreviewStatesFillThePageAndKeepItAwayFromTheLibrary) {
    const QString japanese = TranslateSession::sampleJapaneseMail();
    const QString english = TranslateSession::sampleEnglishMail();
    EXPECT_EQ(countCharacters(japanese), 157);
    EXPECT_EQ(countCharacters(english), 370);
    EXPECT_EQ(english.indexOf(u" come in"), 150);
    struct Case {
        const char *state;
        qint64 characters;
        QString result;
        bool running;
        bool edited;
        bool failed;
    } cases[] = {
        {"typing", 157, {}, false, false, false},
        {"missing", 157, {}, false, false, false},
        {"running", 157, english.left(english.indexOf(u" come in")), true, false, false},
        {"done", 157, english, false, false, false},
        {"edited", 157, english, false, true, false},
        {"failed", 157, {}, false, false, true},
        {"over", 5247, {}, false, false, false},
        {"somethingElse", 0, {}, false, false, false},
    };
    attach();
    session().setText(QStringLiteral("a draft"));
    run(session().flush());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        resetSession();
        previewState = QString::fromLatin1(c.state);
        TranslateSession &s = session();
        EXPECT_EQ(s.textCharacters(), c.characters);
        EXPECT_EQ(s.result(), c.result);
        EXPECT_EQ(s.isRunning(), c.running);
        EXPECT_FALSE(s.isHolding());
        EXPECT_EQ(s.isEdited(), c.edited);
        EXPECT_EQ(s.isFailed(), c.failed);
        EXPECT_EQ(s.resultTone().has_value(), !c.result.isEmpty());
        if (c.characters > 0) {
            EXPECT_EQ(s.detected(), TranslateLanguage::Japanese);
        }
        EXPECT_EQ(s.canTranslate(), !c.running && c.characters > 0 && c.characters <= 5000);

        // Neither the stored draft nor History is touched.
        run(s.attach(library));
        EXPECT_EQ(s.drafts(), nullptr);
        EXPECT_EQ(s.history(), nullptr);
        EXPECT_FALSE(s.isHistoryUnavailable());
        if (c.characters == 0) {
            EXPECT_EQ(s.text(), QString());
        }
        // Receiving text ends the running look at once: there is no run to wait for.
        run(s.receive(QStringLiteral("Hello"), false));
        EXPECT_FALSE(s.isRunning());
        EXPECT_EQ(s.text(), QStringLiteral("Hello"));
        run(s.flush());
    }
    EXPECT_TRUE(storedDraft()->content.contains(QStringLiteral("a draft")));
    EXPECT_TRUE(storedTasks().isEmpty());
}
