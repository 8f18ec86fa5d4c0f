#include "workspace/toolgroup.h"
#include "workspace/workspacetool.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace velmora;

TEST(WorkspaceToolTest, StoredFormsMatchExactlyAndRoundTrip) {
    const QStringList stored = {"dictation",      "voiceCompose", "transcribeFile", "recordMeeting",
                                "meetingMinutes", "actionItems",  "translate",      "summarize",
                                "redact",         "extractText",  "proofread",      "humanize"};
    ASSERT_EQ(allTools().size(), stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(toString(allTools()[i]), stored[i]);
        EXPECT_EQ(workspaceToolFromString(stored[i]), allTools()[i]);
    }
    // Display names and other spellings name no tool.
    for (const char *raw : {"OCR", "ocr", "Translate", "translate ", " translate", "", "pinned"})
        EXPECT_FALSE(workspaceToolFromString(QString::fromUtf8(raw))) << raw;
    EXPECT_EQ(toolName(*workspaceToolFromString("extractText")), "OCR");
}

TEST(WorkspaceToolTest, EveryToolHasANameDescriptionAndSymbol) {
    QSet<QString> symbols;
    for (WorkspaceTool tool : allTools()) {
        EXPECT_FALSE(toolName(tool).isEmpty());
        EXPECT_TRUE(toolSummary(tool).endsWith(u'.')) << toolSummary(tool).toStdString();
        symbols.insert(toolSymbol(tool));
    }
    EXPECT_EQ(symbols.size(), allTools().size());
    EXPECT_EQ(toolSymbol(WorkspaceTool::Translate), "character.bubble");
}

TEST(ToolGroupTest, GroupsListEveryToolOnceInCatalogueOrder) {
    EXPECT_EQ(toolGroupTools(ToolGroup::Documents),
              (QList<WorkspaceTool>{WorkspaceTool::Translate, WorkspaceTool::Summarize, WorkspaceTool::Redact,
                                    WorkspaceTool::ExtractText}));
    QList<WorkspaceTool> all;
    QStringList ids;
    for (ToolGroup group : allToolGroups()) {
        ids.append(toolGroupId(group));
        for (WorkspaceTool tool : toolGroupTools(group)) {
            EXPECT_EQ(toolGroupOf(tool), group);
            all.append(tool);
        }
    }
    EXPECT_EQ(all, allTools());
    EXPECT_EQ(ids, (QStringList{"audio", "meetings", "documents", "writing"}));
    EXPECT_EQ(toolGroupTitle(ToolGroup::Writing), "Writing");
}
