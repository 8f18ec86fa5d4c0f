#include "workspace/toolgroup.h"

#include "workspace/workspacetext.h"

#include <array>

namespace velmora {

namespace {

struct GroupInfo {
    const char *id;
    WorkspaceText title;
};

const std::array<GroupInfo, 4> kGroups = {{
    {"audio", QT_TRANSLATE_NOOP3("Workspace", "Audio", "Tool group")},
    {"meetings", QT_TRANSLATE_NOOP3("Workspace", "Meetings", "Tool group")},
    {"documents", QT_TRANSLATE_NOOP3("Workspace", "Documents", "Tool group")},
    {"writing", QT_TRANSLATE_NOOP3("Workspace", "Writing", "Tool group")},
}};

// The group of each tool, indexed by catalogue order.
constexpr std::array<int, 12> kGroupOfTool = {0, 0, 0, 1, 1, 1, 2, 2, 2, 2, 3, 3};

} // namespace

const QList<ToolGroup> &allToolGroups() {
    static const QList<ToolGroup> groups = {ToolGroup::Audio, ToolGroup::Meetings, ToolGroup::Documents,
                                            ToolGroup::Writing};
    return groups;
}

QString toolGroupId(ToolGroup group) {
    return QString::fromLatin1(kGroups.at(std::size_t(group)).id);
}

QString toolGroupTitle(ToolGroup group) {
    return kGroups.at(std::size_t(group)).title.translated();
}

QList<WorkspaceTool> toolGroupTools(ToolGroup group) {
    QList<WorkspaceTool> tools;
    for (WorkspaceTool tool : allTools()) {
        if (toolGroupOf(tool) == group)
            tools.append(tool);
    }
    return tools;
}

ToolGroup toolGroupOf(WorkspaceTool tool) {
    return ToolGroup(kGroupOfTool.at(std::size_t(tool)));
}

} // namespace velmora
