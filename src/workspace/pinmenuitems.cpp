#include "workspace/pinmenuitems.h"

#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

namespace velmora {

void PinMenuItems::addTo(QMenu *menu, WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation) {
    QPointer<PinnedTools> store(&pins);
    QPointer<AppNavigation> nav(&navigation);
    if (pins.isPinned(tool)) {
        menu->addAction(QCoreApplication::translate("Workspace", "Unpin", "Context menu: remove tool from Pinned"),
                        menu, [store, nav, tool] {
                            if (store && nav)
                                unpin(tool, *store, *nav);
                        });
    } else if (pins.tools().size() < PinnedTools::kMaxPins) {
        menu->addAction(QCoreApplication::translate("Workspace", "Pin", "Context menu: add tool to Pinned"), menu,
                        [store, tool] {
                            if (store)
                                store->pin(tool);
                        });
    } else {
        QAction *full = menu->addAction(
            QCoreApplication::translate("Workspace", "Pin (Unpin a Tool First)",
                                        "Disabled context menu item: Pinned already holds the maximum of 9 tools"));
        full->setEnabled(false);
    }
}

void PinMenuItems::unpin(WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation) {
    pins.unpin(tool);
    if (navigation.page() == WorkspacePage::tool(tool) && navigation.fromPinned())
        navigation.open(WorkspacePage::tool(tool), false);
}

void PinMoveMenuItems::addTo(QMenu *menu, WorkspaceTool tool, PinnedTools &pins) {
    const int index = pins.indexOf(tool).value_or(0);
    const int count = int(pins.tools().size());
    QPointer<PinnedTools> store(&pins);
    QAction *up = menu->addAction(
        QCoreApplication::translate("Workspace", "Move Up", "Context menu: move a pinned tool one place up"), menu,
        [store, tool, index] {
            if (store)
                store->move(tool, index - 1);
        });
    up->setEnabled(index != 0);
    QAction *down = menu->addAction(
        QCoreApplication::translate("Workspace", "Move Down", "Context menu: move a pinned tool one place down"), menu,
        [store, tool, index] {
            if (store)
                store->move(tool, index + 1);
        });
    down->setEnabled(index + 1 != count);
}

} // namespace velmora
