#include "workspace/slidingpanel.h"

namespace velmora {

QString toString(SlidingPanel panel) {
    return panel == SlidingPanel::Sidebar ? QStringLiteral("sidebar") : QStringLiteral("list");
}

std::optional<SlidingPanel> slidingPanelFromString(const QString &raw) {
    if (raw == u"sidebar")
        return SlidingPanel::Sidebar;
    if (raw == u"list")
        return SlidingPanel::List;
    return std::nullopt;
}

} // namespace velmora
