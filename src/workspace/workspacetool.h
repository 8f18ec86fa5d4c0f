#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace velmora {

// The tool catalogue, in the order every list of tools shows them. The stored form of a tool is
// its case name ("extractText", "voiceCompose"…): it is kept in History, the pinned tools and
// the History filter, so it never changes.
enum class WorkspaceTool {
    Dictation,
    VoiceCompose,
    TranscribeFile,
    RecordMeeting,
    MeetingMinutes,
    ActionItems,
    Translate,
    Summarize,
    Redact,
    ExtractText,
    Proofread,
    Humanize,
};

// The twelve tools in catalogue order.
const QList<WorkspaceTool> &allTools();

QString toString(WorkspaceTool tool);
// Exact, case-sensitive match against the stored forms; anything else is no tool.
std::optional<WorkspaceTool> workspaceToolFromString(const QString &raw);

// The tool's name and one-line description in the current interface language.
QString toolName(WorkspaceTool tool);
QString toolSummary(WorkspaceTool tool);
// The symbol name the icon table maps to an icon.
QString toolSymbol(WorkspaceTool tool);

inline size_t qHash(WorkspaceTool tool, size_t seed = 0) {
    return ::qHash(int(tool), seed);
}

} // namespace velmora
