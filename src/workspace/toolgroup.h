#pragma once

#include "workspace/workspacetool.h"

#include <QList>
#include <QString>

namespace velmora {

// The tool groups of the sidebar, in the order it shows them. The id is the word stored when a
// group is collapsed.
enum class ToolGroup { Audio, Meetings, Documents, Writing };

const QList<ToolGroup> &allToolGroups();
QString toolGroupId(ToolGroup group);
// The group's title in the current interface language.
QString toolGroupTitle(ToolGroup group);
// The group's tools in catalogue order.
QList<WorkspaceTool> toolGroupTools(ToolGroup group);
ToolGroup toolGroupOf(WorkspaceTool tool);

} // namespace velmora
