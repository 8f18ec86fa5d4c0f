#pragma once

namespace velmora {

class AppNavigation;
class PinnedTools;
class RecentCardFactory;
class RecentHistorySource;

// What every tool page takes from the Workspace: the navigation (Settings links, "See all"), the
// pins of its header menu, and the History source and cards of its Recent section (the section
// is left out while either of those two is missing).
struct ToolPageServices {
    AppNavigation *navigation = nullptr;
    PinnedTools *pins = nullptr;
    RecentHistorySource *recent = nullptr;
    RecentCardFactory *cards = nullptr;
};

} // namespace velmora
