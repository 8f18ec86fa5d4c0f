#include "workspace/navigationhistory.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

NavigationStep page(WorkspacePage p) {
    return {p, false, std::nullopt, {}};
}
NavigationStep noteAt(const QUuid &note) {
    return {WorkspacePage::notes(), false, note, {}};
}
NavigationStep entryAt(const QUuid &entry) {
    return {WorkspacePage::history(), false, entry, {}};
}

const auto kHome = page(WorkspacePage::home());
const auto kTranslate = page(WorkspacePage::tool(WorkspaceTool::Translate));
const auto kSummarize = page(WorkspacePage::tool(WorkspaceTool::Summarize));

struct Notes {
    QSet<QUuid> existing;
    NavigationHistory::NoteExists exists() const {
        return [this](const QUuid &id) { return existing.contains(id); };
    }
};

} // namespace

TEST(NavigationStepTest, FromPinnedAndToolFilterDoNotMakeADifferentPlace) {
    NavigationStep a = kTranslate;
    NavigationStep b = kTranslate;
    b.fromPinned = true;
    b.historyTools = {WorkspaceTool::Summarize};
    EXPECT_EQ(a, b);
    const QUuid entry = QUuid::createUuid();
    EXPECT_NE(entryAt(entry), page(WorkspacePage::history()));
    EXPECT_NE(entryAt(entry), entryAt(QUuid::createUuid()));
}

TEST(NavigationHistoryTest, PushKeepsTheNewestFiftyAndEmptiesForward) {
    NavigationHistory h;
    Notes notes;
    h.push(kHome);
    h.push(kTranslate);
    ASSERT_TRUE(h.back(kSummarize, notes.exists()));
    ASSERT_EQ(h.forwardSteps().size(), 1);
    h.push(kSummarize);
    EXPECT_TRUE(h.forwardSteps().isEmpty());

    NavigationHistory full;
    QList<QUuid> ids;
    for (int i = 0; i < 51; ++i) {
        ids.append(QUuid::createUuid());
        full.push(entryAt(ids.last()));
    }
    ASSERT_EQ(full.backSteps().size(), 50);
    EXPECT_EQ(full.backSteps().first().item, ids[1]);
    EXPECT_EQ(full.backSteps().last().item, ids[50]);
}

TEST(NavigationHistoryTest, BackDropsTheCurrentPlaceAndGoesOn) {
    NavigationHistory h;
    Notes notes;
    h.push(kHome);
    h.push(kTranslate);
    auto step = h.back(kTranslate, notes.exists());
    ASSERT_TRUE(step);
    EXPECT_EQ(*step, kHome);
    EXPECT_TRUE(h.backSteps().isEmpty());
    ASSERT_EQ(h.forwardSteps().size(), 1);
    EXPECT_EQ(h.forwardSteps().first(), kTranslate);
}

TEST(NavigationHistoryTest, StepsOfDeletedNotesAreSkipped) {
    Notes notes;
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    notes.existing = {a};
    NavigationHistory h;
    h.push(noteAt(a));
    h.push(noteAt(b));
    auto step = h.back(kHome, notes.exists());
    ASSERT_TRUE(step);
    EXPECT_EQ(*step, noteAt(a));
    EXPECT_EQ(h.forwardSteps(), QList<NavigationStep>{kHome});

    // While the notes are not loaded every note step counts as deleted; a Notes step without a
    // note and History steps of vanished entries are kept.
    Notes none;
    NavigationHistory h2;
    const QUuid gone = QUuid::createUuid();
    h2.push(entryAt(gone));
    h2.push(page(WorkspacePage::notes()));
    h2.push(noteAt(a));
    EXPECT_EQ(h2.back(kHome, none.exists()), page(WorkspacePage::notes()));
    EXPECT_EQ(h2.back(page(WorkspacePage::notes()), none.exists()), entryAt(gone));
}

TEST(NavigationHistoryTest, OnlySkippableStepsLeaveNothingAndChangeNoForwardList) {
    Notes notes;
    NavigationHistory h;
    h.push(kHome);
    h.push(noteAt(QUuid::createUuid()));
    h.push(kHome);
    h.push(kTranslate);
    ASSERT_EQ(h.back(kSummarize, notes.exists()), kTranslate);
    // Home is shown now: the two Home steps equal it and the note is gone.
    EXPECT_FALSE(h.back(kHome, notes.exists()));
    EXPECT_TRUE(h.backSteps().isEmpty());
    EXPECT_EQ(h.forwardSteps(), QList<NavigationStep>{kSummarize});
}

TEST(NavigationHistoryTest, ForwardMovesTheCurrentPlaceBackWithoutTrimming) {
    Notes notes;
    NavigationHistory h;
    for (int i = 0; i < 49; ++i)
        h.push(entryAt(QUuid::createUuid()));
    h.push(kHome);
    ASSERT_EQ(h.back(kTranslate, notes.exists()), kHome);
    ASSERT_EQ(h.backSteps().size(), 49);
    ASSERT_EQ(h.forward(kHome, notes.exists()), kTranslate);
    EXPECT_EQ(h.backSteps().size(), 50);
    EXPECT_EQ(h.backSteps().last(), kHome);
}

TEST(NavigationHistoryTest, MergedKeepsTheFirstOfEachRun) {
    const QUuid e1 = QUuid::createUuid(), a = QUuid::createUuid();
    NavigationStep pinnedFirst = kTranslate;
    pinnedFirst.fromPinned = true;
    EXPECT_EQ(NavigationHistory::merged({entryAt(e1), noteAt(a), noteAt(a), entryAt(e1)}),
              (QList<NavigationStep>{entryAt(e1), noteAt(a), entryAt(e1)}));
    EXPECT_TRUE(NavigationHistory::merged({}).isEmpty());
    const auto merged = NavigationHistory::merged({pinnedFirst, kTranslate});
    ASSERT_EQ(merged.size(), 1);
    EXPECT_TRUE(merged.first().fromPinned);
}

TEST(NavigationHistoryTest, ForgettingAnEntryRemovesItsStepsAndMergesNeighbours) {
    const QUuid e1 = QUuid::createUuid(), e2 = QUuid::createUuid(), a = QUuid::createUuid();
    NavigationHistory h;
    for (const auto &step : {entryAt(e1), noteAt(a), entryAt(e2), noteAt(a)})
        h.push(step);
    h.forgetHistoryEntry(e2);
    EXPECT_EQ(h.backSteps(), (QList<NavigationStep>{entryAt(e1), noteAt(a)}));
}
