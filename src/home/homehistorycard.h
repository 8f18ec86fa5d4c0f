#pragma once

#include "library/history.h"
#include "ui/button.h"
#include "ui/textsize.h"
#include "workspace/workspacetool.h"

#include <QMessageBox>
#include <QPointer>

#include <optional>

class QMenu;

namespace velmora {

class AppNavigation;
class HistoryFeed;
class StyledLabel;
class ToolHandoff;

// The card of one History run: when it was made (and, on Home, the tool that made it) over the
// start of its text. A click opens the run in History; a right click offers Copy, Send to and
// Delete…, which asks first and deletes through the feed. The card never changes its run: the
// page that shows it reloads when the feed's revision moves.
class HomeHistoryCard : public Button {
    Q_OBJECT
public:
    struct Services {
        HistoryFeed *feed = nullptr;
        AppNavigation *navigation = nullptr;
        ToolHandoff *handoff = nullptr;
    };

    static constexpr int kWidth = 232;
    // The card's height at a text size: 168 at the standard size, growing with the text.
    static int height(TextSize size);

    // sendFrom: the tool whose page shows the card; Send to leaves it out.
    HomeHistoryCard(HistoryEntry entry, bool showsTool, std::optional<WorkspaceTool> sendFrom, Services services,
                    QWidget *parent = nullptr);

    const HistoryEntry &entry() const { return m_entry; }
    // Whether the top line names the run's tool (asked for, and a tool of this build).
    bool namesTool() const { return m_toolName != nullptr; }
    StyledLabel *timeLabel() const { return m_time; }
    StyledLabel *textLabel() const { return m_text; }
    StyledLabel *toolLabel() const { return m_toolName; }

    // The right-click menu: Copy and Send to when the run has text, then Delete…. The caller
    // owns it.
    QMenu *createContextMenu();
    // Delete…: opens the confirmation; the run waits in deleting() until it closes.
    void askToDelete();
    const std::optional<HistoryEntry> &deleting() const { return m_deleting; }
    QMessageBox *confirmation() const { return m_confirmation; }

protected:
    bool event(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void retranslate();

    HistoryEntry m_entry;
    std::optional<WorkspaceTool> m_sendFrom;
    QPointer<HistoryFeed> m_feed;
    QPointer<AppNavigation> m_navigation;
    QPointer<ToolHandoff> m_handoff;
    StyledLabel *m_toolName = nullptr;
    StyledLabel *m_time;
    StyledLabel *m_text;
    std::optional<HistoryEntry> m_deleting;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace velmora
