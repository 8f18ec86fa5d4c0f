#pragma once

#include "workspace/workspacepage.h"
#include "workspace/workspacetool.h"

#include <QSet>
#include <QUuid>

#include <optional>

namespace velmora {

// One place of the main window in the back and forward history. Two steps are the same place
// when page and item agree; fromPinned and the History filter travel with the step but do not
// make it a different place.
struct NavigationStep {
    WorkspacePage page = WorkspacePage::home();
    bool fromPinned = false;
    // The selected note on Notes, the selected entry on History, none elsewhere.
    std::optional<QUuid> item;
    // The History tool filter of a History step; empty elsewhere.
    QSet<WorkspaceTool> historyTools;

    bool operator==(const NavigationStep &other) const { return page == other.page && item == other.item; }
};

} // namespace velmora
