#include "workspace/sendtoitems.h"

#include "workspace/toolhandoff.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

namespace velmora {

QString SendToItems::Item::title() const {
    switch (kind) {
    case Kind::NewNote:
        return QCoreApplication::translate("SendTo", "New Note",
                                           "Send to menu item: saves the text as a new note and opens it");
    case Kind::NewNoteWithOriginal:
        return QCoreApplication::translate("SendTo", "New Note with Original Text",
                                           "Send to menu item: a new note with the original text, then the result");
    case Kind::Tool: return tool ? toolName(*tool) : QString();
    case Kind::SaveAsFile:
        return QCoreApplication::translate("SendTo", "Save as File…",
                                           "Send to menu item: saves the text as a .txt file");
    case Kind::Share:
        return QCoreApplication::translate("SendTo", "Share…",
                                           "Send to menu item: a menu to copy the text or send it by email");
    case Kind::Separator: return {};
    }
    return {};
}

QString SendToItems::sendToTitle() {
    return QCoreApplication::translate("SendTo", "Send to",
                                       "Menu button that sends text to a new note, another tool, a file or Share");
}

QList<SendToItems::Item> SendToItems::items(const SendableText &content) {
    QList<Item> items;
    if (content.allowsNewNote) {
        items.append({Kind::NewNote, std::nullopt});
        if (content.original)
            items.append({Kind::NewNoteWithOriginal, std::nullopt});
        items.append({Kind::Separator, std::nullopt});
    }
    for (WorkspaceTool tool : content.targets())
        items.append({Kind::Tool, tool});
    if (content.allowsFiles) {
        items.append({Kind::Separator, std::nullopt});
        items.append({Kind::SaveAsFile, std::nullopt});
        items.append({Kind::Share, std::nullopt});
    }
    return items;
}

void SendToItems::addTo(QMenu *menu, const SendableText &content, ToolHandoff &handoff) {
    QPointer<ToolHandoff> target(&handoff);
    for (const Item &item : items(content)) {
        if (item.kind == Kind::Separator) {
            menu->addSeparator();
            continue;
        }
        menu->addAction(item.title(), menu, [target, item, content] {
            if (!target)
                return;
            switch (item.kind) {
            case Kind::NewNote: target->newNote(content.text); break;
            case Kind::NewNoteWithOriginal:
                target->newNoteWithOriginal(content.original.value_or(QString()), content.text);
                break;
            case Kind::Tool: target->send(content.text, *item.tool); break;
            case Kind::SaveAsFile: target->saveAsFile(content.text, content.fileName); break;
            case Kind::Share: target->share(content.text); break;
            case Kind::Separator: break;
            }
        });
    }
}

} // namespace velmora
