#include "workspace/toolhandoff.h"

#include "core/log.h"
#include "handofffakes.h"
#include "support/testsupport.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class ToolHandoffTest : public ::testing::Test, protected HandoffFakes {
protected:
    LogCapture log;
};

} // namespace

TEST_F(ToolHandoffTest, SendingOpensThePageHandsTheTextAndLogs) {
    handoff.send("  hello  ", WorkspaceTool::Proofread);
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Proofread));
    EXPECT_FALSE(navigation.fromPinned());
    ASSERT_EQ(proofreadTarget.received.size(), 1);
    EXPECT_EQ(proofreadTarget.received[0], std::make_pair(QString("  hello  "), true));
    EXPECT_TRUE(log.contains("app", LogLevel::Default, "Sent text to proofread"));

    QSignalSpy delivered(&handoff, &ToolHandoff::delivered);
    textModel.ready = false; // the page still opens and gets the text, without a run
    handoff.send("bonjour", WorkspaceTool::Translate);
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Translate));
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 1; }));
    EXPECT_EQ(translateTarget.received.value(0), std::make_pair(QString("bonjour"), false));
    EXPECT_TRUE(log.contains("app", "Sent text to translate"));
}

TEST_F(ToolHandoffTest, OnlyTheThreeWritingToolsReceiveText) {
    for (WorkspaceTool tool :
         {WorkspaceTool::Dictation, WorkspaceTool::VoiceCompose, WorkspaceTool::Redact, WorkspaceTool::Humanize}) {
        handoff.send("text", tool);
        EXPECT_EQ(navigation.page(), WorkspacePage::home());
    }
    EXPECT_TRUE(log.messages("app").isEmpty());
    EXPECT_TRUE(navigation.history().backSteps().isEmpty());
}

TEST_F(ToolHandoffTest, SummarizeWaitsForTheRunningSummaryToEnd) {
    QSignalSpy delivered(&handoff, &ToolHandoff::delivered);
    summarizeTarget.beginRun();
    handoff.send("new text", WorkspaceTool::Summarize);
    // Logged before the session has the text, which waits for the cancelled run to end.
    EXPECT_TRUE(log.contains("app", "Sent text to summarize"));
    EXPECT_EQ(summarizeTarget.calls, QStringList{"cancel"});
    EXPECT_EQ(summarizeTarget.result, "old result");
    summarizeTarget.endRun();
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 1; }));
    EXPECT_EQ(summarizeTarget.calls, (QStringList{"cancel", "flush", "text:new text", "result:", "reset", "start"}));
}

TEST_F(ToolHandoffTest, ARunningStateWithoutARunDoesNotHangTheHandoff) {
    QSignalSpy delivered(&handoff, &ToolHandoff::delivered);
    summarizeTarget.running = true; // the "running" preview state: no run task to wait for
    textModel.ready = false;
    handoff.send("text", WorkspaceTool::Summarize);
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 1; }, std::chrono::seconds(5)));
    EXPECT_EQ(summarizeTarget.calls, (QStringList{"cancel", "flush", "text:text", "result:", "reset"}));
}

TEST_F(ToolHandoffTest, NewNotesOpenTheNoteOrChangeNothing) {
    ASSERT_TRUE(handoff.newNoteWithOriginal("original", "result"));
    EXPECT_EQ(notes.created, QStringList{"original\n\nresult"});
    EXPECT_EQ(navigation.page(), WorkspacePage::notes());
    EXPECT_EQ(notes.selected, notes.notes.first().id);

    navigation.open(WorkspacePage::home());
    EXPECT_FALSE(handoff.newNote(" \n "));
    notes.ready = false;
    EXPECT_FALSE(handoff.newNote("text"));
    EXPECT_EQ(navigation.page(), WorkspacePage::home());
    EXPECT_EQ(notes.created.size(), 1);
}

TEST_F(ToolHandoffTest, SaveAsFileWritesUtf8OrSaysWhatFailed) {
    QTemporaryDir dir;
    QSignalSpy saved(&handoff, &ToolHandoff::saved);
    prompts.answer = dir.filePath("Translate.txt");
    handoff.saveAsFile(QString::fromUtf8("こんにちは\nworld"), "Translate");
    EXPECT_EQ(prompts.proposed, QStringList{"Translate.txt"});
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(readFile(dir.filePath("Translate.txt")), QByteArray("こんにちは\nworld"));

    prompts.answer.reset(); // cancelled: nothing written, nothing said
    handoff.saveAsFile("x", "Other");
    EXPECT_EQ(saved.count(), 1);
    EXPECT_TRUE(prompts.failures.isEmpty());

    // A folder that cannot be written (even by root).
    prompts.answer = "/sys/velmora-test.txt";
    handoff.saveAsFile("x", "x");
    ASSERT_EQ(prompts.failures.size(), 1);
    EXPECT_EQ(prompts.failures[0].first, QString::fromUtf8("“velmora-test.txt” couldn't be saved."));
    EXPECT_EQ(prompts.failures[0].second, "You don't have permission to save files in this folder.");
    EXPECT_TRUE(log.contains("app", LogLevel::Error, "Save as file failed: NSPOSIXErrorDomain 13"));

    prompts.answer = dir.filePath("missing/folder/x.txt");
    handoff.saveAsFile("x", "x");
    ASSERT_EQ(prompts.failures.size(), 2);
    EXPECT_FALSE(prompts.failures[1].second.isEmpty());
}

TEST(ToolHandoffFileNameTest, ProposedNamesAreSafeAndFit) {
    struct Case {
        QString stem;
        QString expected;
    };
    const QString longAscii(300, u'a');
    const Case cases[] = {
        {"Translate", "Translate.txt"},
        {"Q3/Q4 plan", "Q3-Q4 plan.txt"},
        {QString("a") + QChar(0) + "b", "ab.txt"},
        {"line\tbreak\n", "line break .txt"},
        {"", "Untitled.txt"},
        {QString(QChar(0)), "Untitled.txt"},
        {longAscii, QString(251, u'a') + ".txt"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ToolHandoff::proposedFileName(c.stem), c.expected) << c.stem.toStdString();

    // Three bytes a character: cut whole, within 255 bytes.
    const QString japanese = QString::fromUtf8("議事録").repeated(40);
    const QString name = ToolHandoff::proposedFileName(japanese);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_EQ(name, japanese.left(83) + ".txt");
    // An emoji with a skin tone is never split.
    const QString emoji = QString("x").repeated(245) + QString::fromUtf8("👍🏽") + "y";
    const QString cut = ToolHandoff::proposedFileName(emoji);
    EXPECT_EQ(cut, QString("x").repeated(245) + ".txt");
    for (const QString &n : {name, cut}) {
        EXPECT_FALSE(n.contains(u'/'));
        EXPECT_FALSE(n.contains(QChar(0)));
    }
}

TEST_F(ToolHandoffTest, ShareOffersCopyAndEmail) {
    handoff.share("a & b\nc");
    ASSERT_TRUE(prompts.shownMenu);
    const auto actions = prompts.shownMenu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "Copy");
    EXPECT_EQ(actions[1]->text(), "Email");
    actions[0]->trigger();
    EXPECT_EQ(QString::fromUtf8(clipboard.paste().value_or(QByteArray())), "a & b\nc");
    actions[1]->trigger();
    ASSERT_EQ(urls.opened.size(), 1);
    const QUrl url = urls.opened[0];
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(QUrlQuery(url).queryItemValue("body", QUrl::FullyDecoded), "a & b\r\nc");

    urls.succeeds = false;
    actions[1]->trigger();
    ASSERT_EQ(prompts.failures.size(), 1);
    EXPECT_EQ(prompts.failures[0].first, "No mail program could be opened.");

    // Too long for one message: the item is there but disabled.
    handoff.share(QString(ToolHandoff::kMaxMailtoBytes, u'x'));
    EXPECT_FALSE(prompts.shownMenu->actions()[1]->isEnabled());
}
