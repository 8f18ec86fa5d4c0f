#pragma once

#include "workspace/workspacetool.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QMenu;
class QWidget;

namespace velmora {

class TextMenuProvider;
class ToolHandoff;

// Puts "Send to" at the top of the standard right-click menu of a text widget (QTextEdit,
// QPlainTextEdit, QLineEdit) while text is selected: New Note and the writing tools, acting on
// the selection exactly as selected.
class SelectionSendTo : public QObject {
    Q_OBJECT
public:
    // Attaches to the widget for its lifetime; from is the tool whose text the widget shows.
    static SelectionSendTo *attach(QWidget *textWidget, ToolHandoff &handoff,
                                   std::optional<WorkspaceTool> from = std::nullopt);

    // The same items for a view that builds its own menu and asks a provider for more (the
    // kit's result view).
    static std::shared_ptr<const TextMenuProvider> menuProvider(ToolHandoff &handoff,
                                                                std::optional<WorkspaceTool> from = std::nullopt);

    // The widget's selection as plain text (line breaks as "\n"); empty when none.
    static QString selectedText(const QWidget *textWidget);
    // Inserts the Send to submenu and a separator at the top of the menu when the selection
    // holds more than white space; otherwise leaves the menu as it is.
    static void addItems(QMenu *menu, const QString &selection, ToolHandoff &handoff,
                         std::optional<WorkspaceTool> from);

    // The standard menu of the widget with the Send to items, as a right click at pos (widget
    // coordinates; for a text edit, its viewport's) shows it.
    QMenu *createMenu(const QPoint &pos) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    SelectionSendTo(QWidget *textWidget, ToolHandoff &handoff, std::optional<WorkspaceTool> from);

    QWidget *m_widget;
    QPointer<ToolHandoff> m_handoff;
    std::optional<WorkspaceTool> m_from;
};

} // namespace velmora
