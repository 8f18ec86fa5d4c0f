#pragma once

#include "workspace/sendabletext.h"

#include <QList>
#include <QString>

#include <optional>

class QMenu;

namespace velmora {

class ToolHandoff;

// The Send to choices for one text: new notes, the writing tools, a file and the share menu.
class SendToItems {
public:
    enum class Kind { NewNote, NewNoteWithOriginal, Tool, SaveAsFile, Share, Separator };
    struct Item {
        Kind kind;
        std::optional<WorkspaceTool> tool;
        bool operator==(const Item &) const = default;
        // The item's title in the current interface language.
        QString title() const;
    };

    static QList<Item> items(const SendableText &content);
    // Adds the items to a menu; each acts through the hand-off.
    static void addTo(QMenu *menu, const SendableText &content, ToolHandoff &handoff);
    // "Send to" in the current interface language.
    static QString sendToTitle();
};

} // namespace velmora
