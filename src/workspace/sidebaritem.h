#pragma once

#include "workspace/workspacepage.h"

#include <QHashFunctions>

namespace velmora {

// The target of one sidebar row: a pinned tool has two, one in the Pinned group (pinned) and
// one in its tool group. Also the unit the Go menu steps through.
struct SidebarItem {
    WorkspacePage page = WorkspacePage::home();
    bool pinned = false;

    bool operator==(const SidebarItem &) const = default;
};

inline size_t qHash(const SidebarItem &item, size_t seed = 0) {
    return qHashMulti(seed, item.page, item.pinned);
}

} // namespace velmora
