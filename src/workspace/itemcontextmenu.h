#pragma once

#include "workspace/sendabletext.h"

#include <functional>
#include <optional>

class QMenu;

namespace velmora {

class ToolHandoff;

// The right-click menu of a list row or a card: Copy, a Send to submenu, and Delete….
class ItemContextMenu {
public:
    // Fills the menu; with neither content nor a delete action it stays empty. The delete action
    // asks the user before deleting anything.
    static void addTo(QMenu *menu, const std::optional<SendableText> &content, ToolHandoff &handoff,
                      std::function<void()> deleteItem = {});
};

} // namespace velmora
