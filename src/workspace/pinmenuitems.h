#pragma once

#include "workspace/workspacetool.h"

class QMenu;

namespace velmora {

class AppNavigation;
class PinnedTools;

// The pin items of a tool's context menu: "Unpin" when it is pinned, else "Pin", or the disabled
// "Pin (Unpin a Tool First)" while the pinned list is full.
class PinMenuItems {
public:
    static void addTo(QMenu *menu, WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation);
    // Unpins the tool; when its page is open from the Pinned group it stays open, now as reached
    // from the tool's own group.
    static void unpin(WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation);
};

// "Move Up" and "Move Down" for a pinned tool's row.
class PinMoveMenuItems {
public:
    static void addTo(QMenu *menu, WorkspaceTool tool, PinnedTools &pins);
};

} // namespace velmora
