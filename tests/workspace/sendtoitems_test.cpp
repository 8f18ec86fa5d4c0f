#include "workspace/sendtoitems.h"

#include "handofffakes.h"
#include "menutitles.h"
#include "workspace/itemcontextmenu.h"

#include <QMenu>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class SendToTest : public ::testing::Test, protected HandoffFakes {};

SendableText translation() {
    SendableText t;
    t.text = "Hello";
    t.original = QString::fromUtf8("こんにちは");
    t.fileName = "Translate";
    t.from = WorkspaceTool::Translate;
    return t;
}

} // namespace

TEST(SendableTextTest, TargetsLeaveOutTheSource) {
    SendableText t;
    EXPECT_EQ(t.targets(),
              (QList<WorkspaceTool>{WorkspaceTool::Translate, WorkspaceTool::Summarize, WorkspaceTool::Proofread}));
    t.from = WorkspaceTool::Summarize;
    EXPECT_EQ(t.targets(), (QList<WorkspaceTool>{WorkspaceTool::Translate, WorkspaceTool::Proofread}));
    t.from = WorkspaceTool::Dictation;
    EXPECT_EQ(t.targets().size(), 3);
}

TEST(SendableTextTest, FromEntriesAndNotes) {
    HistoryEntry entry;
    entry.tool = "translate";
    EXPECT_FALSE(SendableText::fromEntry(entry, std::nullopt)); // no text
    entry.text = QString("");
    auto empty = SendableText::fromEntry(entry, WorkspaceTool::Translate);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->fileName, "Translate");
    EXPECT_EQ(empty->from, WorkspaceTool::Translate);
    EXPECT_TRUE(empty->allowsNewNote && empty->allowsFiles);
    entry.tool = "someFutureTool";
    EXPECT_EQ(SendableText::fromEntry(entry, std::nullopt)->fileName, "someFutureTool");

    EXPECT_FALSE(SendableText::fromNote(" \n\t", "New Note"));
    auto note = SendableText::fromNote("- ", "New Note"); // markers only: not blank
    ASSERT_TRUE(note);
    EXPECT_EQ(note->fileName, "New Note");
    EXPECT_FALSE(note->allowsNewNote);
    EXPECT_TRUE(note->allowsFiles);
}

TEST_F(SendToTest, ItemsOfTheCommonSources) {
    QMenu result;
    SendToItems::addTo(&result, translation(), handoff);
    EXPECT_EQ(menuTitles(result), (QStringList{"New Note", "New Note with Original Text", "—", "Summarize", "Proofread",
                                               "—", "Save as File…", "Share…"}));

    HistoryEntry entry;
    entry.tool = "summarize";
    entry.text = "row";
    QMenu row;
    SendToItems::addTo(&row, *SendableText::fromEntry(entry, std::nullopt), handoff);
    EXPECT_EQ(menuTitles(row),
              (QStringList{"New Note", "—", "Translate", "Summarize", "Proofread", "—", "Save as File…", "Share…"}));

    QMenu note;
    SendToItems::addTo(&note, *SendableText::fromNote("note", "note"), handoff);
    EXPECT_EQ(menuTitles(note), (QStringList{"Translate", "Summarize", "Proofread", "—", "Save as File…", "Share…"}));
}

TEST_F(SendToTest, ItemsActThroughTheHandoff) {
    QMenu menu;
    SendToItems::addTo(&menu, translation(), handoff);
    const auto actions = menu.actions();
    actions[1]->trigger(); // New Note with Original Text
    EXPECT_EQ(notes.created, QStringList{QString::fromUtf8("こんにちは\n\nHello")});
    EXPECT_EQ(navigation.page(), WorkspacePage::notes());
    actions[4]->trigger(); // Proofread
    EXPECT_EQ(proofreadTarget.received.value(0).first, "Hello");
    actions[6]->trigger(); // Save as File…
    EXPECT_EQ(prompts.proposed, QStringList{"Translate.txt"});
    actions[7]->trigger(); // Share…
    EXPECT_TRUE(prompts.shownMenu);
}

TEST_F(SendToTest, RowMenusWithAndWithoutTextAndDelete) {
    int deletes = 0;
    SendableText text;
    text.text = "copied";
    QMenu both;
    ItemContextMenu::addTo(&both, text, handoff, [&] { ++deletes; });
    EXPECT_EQ(menuTitles(both), (QStringList{"Copy", "Send to", "—", "Delete…"}));
    both.actions()[0]->trigger();
    EXPECT_EQ(QString::fromUtf8(clipboard.paste().value_or(QByteArray())), "copied");
    both.actions()[3]->trigger();
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(menuTitles(*both.actions()[1]->menu()).first(), "New Note");

    QMenu onlyDelete;
    ItemContextMenu::addTo(&onlyDelete, std::nullopt, handoff, [&] { ++deletes; });
    EXPECT_EQ(menuTitles(onlyDelete), QStringList{"Delete…"});
    QMenu noDelete;
    ItemContextMenu::addTo(&noDelete, text, handoff);
    EXPECT_EQ(menuTitles(noDelete), (QStringList{"Copy", "Send to"}));
    QMenu nothing;
    ItemContextMenu::addTo(&nothing, std::nullopt, handoff);
    EXPECT_TRUE(nothing.actions().isEmpty());
}

TEST_F(SendToTest, TheNextMenuFollowsTheInterfaceLanguage) {
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(":/translations/workspace_ja.qm"));
    QCoreApplication::installTranslator(&japanese);
    QMenu menu;
    SendToItems::addTo(&menu, translation(), handoff);
    QCoreApplication::removeTranslator(&japanese);
    EXPECT_EQ(menuTitles(menu), (QStringList{QString::fromUtf8("新規メモ"), QString::fromUtf8("原文付きの新規メモ"),
                                             "—", QString::fromUtf8("要約"), QString::fromUtf8("校正"), "—",
                                             QString::fromUtf8("ファイルとして保存…"), QString::fromUtf8("共有…")}));
}
