#include "workspace/selectionsendto.h"

#include "ui/resulttextview.h"
#include "workspace/sendtoitems.h"
#include "workspace/toolhandoff.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>

namespace velmora {

namespace {

QString plainSelection(const QTextCursor &cursor) {
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

class SendToMenuProvider : public TextMenuProvider {
public:
    SendToMenuProvider(ToolHandoff &handoff, std::optional<WorkspaceTool> from) : m_handoff(&handoff), m_from(from) {}
    void addItems(QMenu *menu, QTextEdit *textView) const override {
        if (m_handoff)
            SelectionSendTo::addItems(menu, SelectionSendTo::selectedText(textView), *m_handoff, m_from);
    }

private:
    QPointer<ToolHandoff> m_handoff;
    std::optional<WorkspaceTool> m_from;
};

} // namespace

std::shared_ptr<const TextMenuProvider> SelectionSendTo::menuProvider(ToolHandoff &handoff,
                                                                      std::optional<WorkspaceTool> from) {
    return std::make_shared<SendToMenuProvider>(handoff, from);
}

SelectionSendTo::SelectionSendTo(QWidget *textWidget, ToolHandoff &handoff, std::optional<WorkspaceTool> from)
    : QObject(textWidget), m_widget(textWidget), m_handoff(&handoff), m_from(from) {}

SelectionSendTo *SelectionSendTo::attach(QWidget *textWidget, ToolHandoff &handoff, std::optional<WorkspaceTool> from) {
    auto *sendTo = new SelectionSendTo(textWidget, handoff, from);
    textWidget->installEventFilter(sendTo);
    // A text edit gets mouse right clicks on its viewport and the menu key on itself.
    if (auto *area = qobject_cast<QAbstractScrollArea *>(textWidget))
        area->viewport()->installEventFilter(sendTo);
    return sendTo;
}

QString SelectionSendTo::selectedText(const QWidget *textWidget) {
    if (auto *edit = qobject_cast<const QTextEdit *>(textWidget))
        return plainSelection(edit->textCursor());
    if (auto *edit = qobject_cast<const QPlainTextEdit *>(textWidget))
        return plainSelection(edit->textCursor());
    if (auto *edit = qobject_cast<const QLineEdit *>(textWidget))
        return edit->selectedText();
    return {};
}

void SelectionSendTo::addItems(QMenu *menu, const QString &selection, ToolHandoff &handoff,
                               std::optional<WorkspaceTool> from) {
    if (selection.isEmpty() || selection.trimmed().isEmpty())
        return;
    auto *submenu = new QMenu(SendToItems::sendToTitle(), menu);
    QPointer<ToolHandoff> target(&handoff);
    submenu->addAction(SendToItems::Item{SendToItems::Kind::NewNote, std::nullopt}.title(), submenu,
                       [target, selection] {
                           if (target)
                               target->newNote(selection);
                       });
    submenu->addSeparator();
    SendableText content;
    content.from = from;
    for (WorkspaceTool tool : content.targets()) {
        submenu->addAction(toolName(tool), submenu, [target, selection, tool] {
            if (target)
                target->send(selection, tool);
        });
    }
    QAction *first = menu->actions().value(0);
    menu->insertMenu(first, submenu);
    menu->insertSeparator(first);
}

QMenu *SelectionSendTo::createMenu(const QPoint &pos) const {
    QMenu *menu = nullptr;
    if (auto *edit = qobject_cast<QTextEdit *>(m_widget)) {
        const QPoint document(edit->horizontalScrollBar()->value(), edit->verticalScrollBar()->value());
        menu = edit->createStandardContextMenu(pos + document);
    } else if (auto *edit = qobject_cast<QPlainTextEdit *>(m_widget)) {
        menu = edit->createStandardContextMenu(pos);
    } else if (auto *edit = qobject_cast<QLineEdit *>(m_widget)) {
        menu = edit->createStandardContextMenu();
    }
    if (menu && m_handoff)
        addItems(menu, selectedText(m_widget), *m_handoff, m_from);
    return menu;
}

bool SelectionSendTo::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::ContextMenu || m_widget->contextMenuPolicy() != Qt::DefaultContextMenu)
        return QObject::eventFilter(watched, event);
    auto *menuEvent = static_cast<QContextMenuEvent *>(event);
    QPoint pos = menuEvent->pos();
    if (auto *area = qobject_cast<QAbstractScrollArea *>(m_widget); area && watched == m_widget)
        pos = area->viewport()->mapFrom(m_widget, pos);
    QMenu *menu = createMenu(pos);
    if (!menu)
        return QObject::eventFilter(watched, event);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(menuEvent->globalPos());
    event->accept();
    return true;
}

} // namespace velmora
