#include "workspace/pinnedtools.h"

#include "core/defaults.h"
#include "workspace/workspacesettings.h"

#include <algorithm>

namespace velmora {

PinnedTools::PinnedTools(Defaults &defaults, QObject *parent) : QObject(parent), m_defaults(defaults) {
    if (!defaults.isStored(kPinnedTools)) {
        m_tools = defaultTools();
        save();
        return;
    }
    for (const QString &raw : defaults.get(kPinnedTools)) {
        auto tool = workspaceToolFromString(raw);
        // A tool stored twice would give two rows with the same Ctrl+digit; the first one stays.
        if (tool && !m_tools.contains(*tool))
            m_tools.append(*tool);
        if (m_tools.size() == kMaxPins)
            break;
    }
    // Nothing is written back: stray entries stay stored until the next change rewrites the list.
}

QList<WorkspaceTool> PinnedTools::defaultTools() {
    return {WorkspaceTool::Dictation, WorkspaceTool::ExtractText, WorkspaceTool::Translate};
}

std::optional<int> PinnedTools::indexOf(WorkspaceTool tool) const {
    const qsizetype i = m_tools.indexOf(tool);
    if (i < 0)
        return std::nullopt;
    return int(i);
}

void PinnedTools::pin(WorkspaceTool tool) {
    if (isPinned(tool) || m_tools.size() >= kMaxPins)
        return;
    m_tools.append(tool);
    save();
    emit toolsChanged();
}

void PinnedTools::unpin(WorkspaceTool tool) {
    const bool removed = m_tools.removeAll(tool) > 0;
    save();
    if (removed)
        emit toolsChanged();
}

void PinnedTools::move(WorkspaceTool tool, int index) {
    auto current = indexOf(tool);
    if (!current)
        return;
    const int target = std::clamp(index, 0, int(m_tools.size()) - 1);
    if (target == *current)
        return;
    m_tools.move(*current, target);
    save();
    emit toolsChanged();
}

void PinnedTools::save() {
    QStringList raw;
    for (WorkspaceTool tool : m_tools)
        raw.append(toString(tool));
    m_defaults.set(kPinnedTools, raw);
}

} // namespace velmora
