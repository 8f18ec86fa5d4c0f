#include "workspace/sendabletext.h"

namespace velmora {

QList<WorkspaceTool> SendableText::targets() const {
    QList<WorkspaceTool> tools;
    for (WorkspaceTool tool : {WorkspaceTool::Translate, WorkspaceTool::Summarize, WorkspaceTool::Proofread}) {
        if (tool != from)
            tools.append(tool);
    }
    return tools;
}

std::optional<SendableText> SendableText::fromEntry(const HistoryEntry &entry, std::optional<WorkspaceTool> from) {
    if (!entry.text)
        return std::nullopt;
    SendableText sendable;
    sendable.text = *entry.text;
    const auto tool = workspaceToolFromString(entry.tool);
    sendable.fileName = tool ? toolName(*tool) : entry.tool;
    sendable.from = from;
    return sendable;
}

std::optional<SendableText> SendableText::fromNote(const QString &text, const QString &title) {
    if (text.trimmed().isEmpty())
        return std::nullopt;
    SendableText sendable;
    sendable.text = text;
    sendable.fileName = title;
    sendable.allowsNewNote = false;
    return sendable;
}

} // namespace velmora
