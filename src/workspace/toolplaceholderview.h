#pragma once

#include "workspace/workspacetool.h"

#include <QWidget>

namespace velmora {

class AppNavigation;
class PinnedTools;
class StyledLabel;
class ToolPageHeader;

// The page of a catalogued tool that is not built yet: the usual tool page header (its pin items
// in the "More" menu) and one line saying the tool is coming.
class ToolPlaceholderView : public QWidget {
    Q_OBJECT
public:
    ToolPlaceholderView(WorkspaceTool tool, PinnedTools &pins, AppNavigation &navigation, QWidget *parent = nullptr);

    WorkspaceTool tool() const { return m_tool; }
    ToolPageHeader *header() const { return m_header; }
    StyledLabel *message() const { return m_message; }

    static QString messageText();

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    WorkspaceTool m_tool;
    ToolPageHeader *m_header;
    StyledLabel *m_message;
};

} // namespace velmora
