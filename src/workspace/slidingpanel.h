#pragma once

#include <QString>

#include <optional>

namespace velmora {

// The column that slides over the page when it does not fit beside it: the sidebar, or the
// list of the current page (the note list on Notes, the History list on History).
enum class SlidingPanel { Sidebar, List };

QString toString(SlidingPanel panel);
// Exactly "sidebar" or "list"; anything else is none.
std::optional<SlidingPanel> slidingPanelFromString(const QString &raw);

} // namespace velmora
