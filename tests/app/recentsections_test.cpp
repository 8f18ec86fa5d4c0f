// The Recent sections of the tool pages on the History feed and its cards, as the app wires them.

#include "tools/translate/translatepagefixture.h"

#include "app/appservices.h"
#include "dictation/dictationview.h"
#include "history/historyfeed.h"
#include "home/homehistorycard.h"
#include "home/homehistorycardfactory.h"
#include "library/historywritequeue.h"
#include "library/texttaskhistory.h"
#include "tools/translate/translatebutton.h"
#include "tools/translate/translatepanes.h"
#include "tools/translate/translateview.h"
#include "workspace/toolrecentsection.h"

#include <QTest>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

// The entries of a section's cards, in order.
QList<HistoryEntry> shown(const ToolRecentSection *section) {
    QList<HistoryEntry> entries;
    for (QWidget *card : section->cards()) {
        if (auto *historyCard = qobject_cast<HomeHistoryCard *>(card))
            entries.append(historyCard->entry());
    }
    return entries;
}

QStringList textsOf(const QList<HistoryEntry> &entries) {
    QStringList texts;
    for (const HistoryEntry &e : entries)
        texts.append(e.text.value_or(QString()));
    return texts;
}

TextTaskHistory::Run runOf(const QString &output) {
    TextTaskHistory::Run run;
    run.input = QStringLiteral("input");
    run.output = output;
    return run;
}

} // namespace

// Each page shows its own tool's runs only; a run the Translate session records reloads the
// Translate page's section, newest first.
TEST(RecentSections, TheAppsPagesShowTheirOwnToolsRunsAndReloadOnEveryWrite) {
    TempHome home;
    Defaults defaults{QString()};
    AppServices::Options options;
    options.libraryRoot = home.dataHome() + QStringLiteral("/com.velmora.app");
    options.preferredLanguages = [] { return QStringList{QStringLiteral("en-US")}; };
    options.llmServerPath = helperPath(QStringLiteral("llm-helper"));
    options.speechHelperPath = helperPath(QStringLiteral("velmora-speech-helper"));
    auto services = std::make_unique<AppServices>(defaults, AppPlatform::fakes(), options);
    run(services->libraryHandedOff());
    const std::shared_ptr<Library> library = services->library();
    run(TextTaskHistory(library, QStringLiteral("dictation")).record(runOf("Spoken words"), std::nullopt));
    run(TextTaskHistory(library, QStringLiteral("translate")).record(runOf("Old translation"), std::nullopt));

    QWidget window;
    window.resize(1100, 900);
    auto *dictationPage = qobject_cast<DictationView *>(
        services->pages().createPage(WorkspacePage::tool(WorkspaceTool::Dictation), &window));
    auto *translatePage = qobject_cast<TranslateView *>(
        services->pages().createPage(WorkspacePage::tool(WorkspaceTool::Translate), &window));
    ASSERT_TRUE(dictationPage && translatePage);
    auto *dictationRecent = qobject_cast<ToolRecentSection *>(dictationPage->recentSection());
    ASSERT_TRUE(dictationRecent && translatePage->recentSection());
    window.show();
    ASSERT_TRUE(waitUntil(
        [&] { return shown(dictationRecent).size() == 1 && shown(translatePage->recentSection()).size() == 1; }));
    EXPECT_EQ(textsOf(shown(dictationRecent)), QStringList{"Spoken words"});
    EXPECT_EQ(textsOf(shown(translatePage->recentSection())), QStringList{"Old translation"});
    for (QWidget *card : translatePage->recentSection()->cards())
        EXPECT_FALSE(qobject_cast<HomeHistoryCard *>(card)->namesTool());

    // Written through the session's own History queue, as a finished run is.
    const TextTaskHistory store(library, QStringLiteral("translate"));
    HistoryWriteQueue *queue = services->translate().history();
    ASSERT_TRUE(queue);
    queue->record([store] { return store.record(runOf("New translation"), std::nullopt); });
    ASSERT_TRUE(waitUntil([&] { return shown(translatePage->recentSection()).size() == 2; }));
    EXPECT_EQ(textsOf(shown(translatePage->recentSection())), (QStringList{"New translation", "Old translation"}));
    EXPECT_EQ(textsOf(shown(dictationRecent)), QStringList{"Spoken words"});
    run(queue->flushAndWait());
}

namespace {

class TranslateRecentTest : public TranslatePageTest {
protected:
    TranslateView::Services services() {
        TranslateView::Services s = TranslatePageTest::services();
        s.workspace.recent = &feed;
        s.workspace.cards = &cards;
        return s;
    }

    HistoryFeed feed;
    HomeHistoryCardFactory cards{{&feed, &navigation, &handoff}};
};

} // namespace

// A translation finished on the page is the first card of the page's Recent section.
TEST_F(TranslateRecentTest, AFinishedTranslationComesFirstInThePagesRecentSection) {
    attach();
    feed.setLibrary(library);
    QObject::connect(&session(), &TranslateSession::historyChanged, &feed, &HistoryFeed::historyWritten);
    run(TextTaskHistory(library, QStringLiteral("translate")).record(runOf("Earlier translation"), std::nullopt));

    TranslateView view(services());
    view.resize(1100, 900);
    view.show();
    ToolRecentSection *recent = view.recentSection();
    ASSERT_TRUE(recent);
    ASSERT_TRUE(waitUntil([&] { return shown(recent).size() == 1; }));
    EXPECT_TRUE(recent->isVisible());

    session().setText(QStringLiteral("こんばんは。"));
    QTest::mouseClick(view.panes()->translateButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return shown(recent).size() == 2; }, 60s));
    EXPECT_EQ(textsOf(shown(recent)), (QStringList{"Hello.", "Earlier translation"}));
    EXPECT_EQ(shown(recent).first().tool, "translate");
}
