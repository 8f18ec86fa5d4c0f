#include "workspace/pinnedtools.h"

#include "core/defaults.h"
#include "support/testsupport.h"
#include "workspace/workspacesettings.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

using Tools = QList<WorkspaceTool>;
constexpr auto A = WorkspaceTool::Translate;
constexpr auto B = WorkspaceTool::Summarize;
constexpr auto C = WorkspaceTool::Proofread;
constexpr auto D = WorkspaceTool::Redact;

} // namespace

TEST(PinnedToolsTest, FirstLaunchPinsTheDefaultsAndWritesThem) {
    Defaults defaults{QString()};
    PinnedTools pins(defaults);
    EXPECT_EQ(pins.tools(), (Tools{WorkspaceTool::Dictation, WorkspaceTool::ExtractText, WorkspaceTool::Translate}));
    EXPECT_EQ(defaults.get(kPinnedTools), (QStringList{"dictation", "extractText", "translate"}));
}

TEST(PinnedToolsTest, StoredFormsLoad) {
    struct Case {
        const char *name;
        std::function<void(Defaults &)> store;
        Tools expected;
        QStringList storedAfter;
    };
    const QStringList twelve = {"dictation",      "voiceCompose", "transcribeFile", "recordMeeting",
                                "meetingMinutes", "actionItems",  "translate",      "summarize",
                                "redact",         "extractText",  "proofread",      "humanize"};
    const Case cases[] = {
        {"empty stays empty", [](Defaults &d) { d.setStringList("pinnedTools", {}); }, {}, {}},
        {"strays are dropped but kept stored",
         [](Defaults &d) {
             d.setStringList("pinnedTools", {"translate", "ocr", "proofread"});
         },
         {A, C},
         {"translate", "ocr", "proofread"}},
        {"twelve load as the first nine", [&](Defaults &d) { d.setStringList("pinnedTools", twelve); },
         Tools(allTools().mid(0, 9)), twelve},
        // Duplicates would number two rows alike; the first occurrence stays.
        {"duplicates are dropped",
         [](Defaults &d) {
             d.setStringList("pinnedTools", {"summarize", "translate", "summarize"});
         },
         {B, A},
         {"summarize", "translate", "summarize"}},
        {"a value of the wrong type counts as absent",
         [](Defaults &d) { d.setString("pinnedTools", "translate"); },
         PinnedTools::defaultTools(),
         {"dictation", "extractText", "translate"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Defaults defaults{QString()};
        c.store(defaults);
        PinnedTools pins(defaults);
        EXPECT_EQ(pins.tools(), c.expected);
        EXPECT_EQ(defaults.get(kPinnedTools), c.storedAfter);
    }
}

TEST(PinnedToolsTest, DuplicatesInTheStoreAreRewrittenOnTheNextChange) {
    Defaults defaults{QString()};
    defaults.setStringList("pinnedTools", {"summarize", "summarize", "translate"});
    PinnedTools pins(defaults);
    EXPECT_TRUE(pins.isPinned(B));
    pins.pin(B);
    EXPECT_EQ(pins.tools(), (Tools{B, A}));
    pins.unpin(B);
    EXPECT_EQ(pins.tools(), Tools{A});
    EXPECT_EQ(defaults.get(kPinnedTools), QStringList{"translate"});
}

TEST(PinnedToolsTest, PinRefusesDuplicatesAndATenthTool) {
    Defaults defaults{QString()};
    defaults.setStringList("pinnedTools", {});
    PinnedTools pins(defaults);
    QSignalSpy changed(&pins, &PinnedTools::toolsChanged);
    for (int i = 0; i < 9; ++i)
        pins.pin(allTools()[i]);
    EXPECT_EQ(changed.count(), 9);
    QSignalSpy written(&defaults, &Defaults::changed);
    pins.pin(allTools()[9]);
    pins.pin(allTools()[0]);
    EXPECT_EQ(pins.tools().size(), 9);
    EXPECT_EQ(changed.count(), 9);
    EXPECT_EQ(written.count(), 0);
}

TEST(PinnedToolsTest, MovesClampTheTarget) {
    struct Case {
        WorkspaceTool tool;
        int to;
        Tools expected;
    };
    for (const Case &c : {Case{A, 2, {B, C, A}}, Case{C, 0, {C, A, B}}, Case{B, 5, {A, C, B}}, Case{B, -3, {B, A, C}},
                          Case{D, 0, {A, B, C}}, Case{A, -1, {A, B, C}}}) {
        Defaults defaults{QString()};
        defaults.setStringList("pinnedTools", {"translate", "summarize", "proofread"});
        PinnedTools pins(defaults);
        QSignalSpy changed(&pins, &PinnedTools::toolsChanged);
        pins.move(c.tool, c.to);
        EXPECT_EQ(pins.tools(), c.expected) << toString(c.tool).toStdString() << " to " << c.to;
        EXPECT_EQ(changed.count(), pins.tools() == Tools({A, B, C}) ? 0 : 1);
    }
}

TEST(PinnedToolsTest, UnpinningAToolThatIsNotPinnedStillWrites) {
    Defaults defaults{QString()};
    defaults.setStringList("pinnedTools", {"translate", "nothing"});
    PinnedTools pins(defaults);
    pins.unpin(C);
    EXPECT_EQ(defaults.get(kPinnedTools), QStringList{"translate"});
}

TEST(PinnedToolsTest, TheListSurvivesARestart) {
    test::TempHome home;
    const QString path = home.configHome() + "/defaults.json";
    {
        Defaults defaults(path);
        PinnedTools pins(defaults);
        pins.unpin(WorkspaceTool::Dictation);
        pins.pin(C);
        pins.move(C, 0);
    }
    Defaults reopened(path);
    PinnedTools pins(reopened);
    EXPECT_EQ(pins.tools(), (Tools{C, WorkspaceTool::ExtractText, A}));
}
