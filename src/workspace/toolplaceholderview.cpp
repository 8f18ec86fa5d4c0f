#include "workspace/toolplaceholderview.h"

#include "ui/pagescaffold.h"
#include "ui/styledlabel.h"
#include "ui/toolpageheader.h"
#include "workspace/pinmenuitems.h"

#include <QCoreApplication>
#include <QMenu>
#include <QVBoxLayout>

namespace velmora {

ToolPlaceholderView::ToolPlaceholderView(WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation,
                                         QWidget *parent)
    : QWidget(parent), m_tool(tool), m_header(new ToolPageHeader(
                                         toolSymbol(tool), [tool] { return toolName(tool); }, toolSummary(tool))),
      m_message(new StyledLabel(messageText(), Typography::Body)) {
    m_message->setColor(ColorName::TextSecondary);
    m_message->setWordWrap(true);
    QMenu *more = m_header->moreMenu();
    connect(more, &QMenu::aboutToShow, this, [more, tool, &pins, &navigation] {
        more->clear();
        PinMenuItems::addTo(more, tool, pins, navigation);
    });
    PinMenuItems::addTo(more, tool, pins, navigation);

    auto *scaffold = new PageScaffold(24, 32, this);
    scaffold->setHeader(m_header);
    scaffold->addSection(m_message);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scaffold);
}

QString ToolPlaceholderView::messageText() {
    return QCoreApplication::translate("Workspace", "This tool is coming in a future update.",
                                       "Message on the page of a tool that is not built yet");
}

void ToolPlaceholderView::retranslate() {
    m_header->setDescription(toolSummary(m_tool));
    m_message->setText(messageText());
}

void ToolPlaceholderView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace velmora
