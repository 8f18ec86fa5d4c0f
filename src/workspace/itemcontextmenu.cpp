#include "workspace/itemcontextmenu.h"

#include "workspace/sendtoitems.h"
#include "workspace/toolhandoff.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

namespace velmora {

void ItemContextMenu::addTo(QMenu *menu, const std::optional<SendableText> &content, ToolHandoff &handoff,
                            std::function<void()> deleteItem) {
    if (content) {
        QPointer<ToolHandoff> target(&handoff);
        const QString text = content->text;
        menu->addAction(
            QCoreApplication::translate("SendTo", "Copy", "Right-click menu item on a row or card: copies its text"),
            menu, [target, text] {
                if (target)
                    target->copy(text);
            });
        QMenu *sendTo = menu->addMenu(SendToItems::sendToTitle());
        SendToItems::addTo(sendTo, *content, handoff);
    }
    if (deleteItem) {
        if (content)
            menu->addSeparator();
        menu->addAction(
            QCoreApplication::translate("SendTo", "Delete…", "Right-click menu item on a row or card; asks first"),
            menu, std::move(deleteItem));
    }
}

} // namespace velmora
