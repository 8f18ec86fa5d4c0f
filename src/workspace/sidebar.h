#pragma once

#include "workspace/sidebaritem.h"
#include "workspace/workspacetool.h"

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>

#include <memory>
#include <optional>
#include <vector>

class QDrag;
class QScrollArea;
class QVBoxLayout;
class QVariantAnimation;

namespace velmora {

class AppNavigation;
class Defaults;
class PinnedTools;
class SettingsAttention;
class SidebarGroupHeader;
class SidebarRow;

// The navigation column: Home, Notes and History, the Pinned group (while a tool is pinned),
// the four tool groups under headers that collapse them, and Settings fixed at the bottom with
// a badge of what needs the user there. A click opens the row's page; the current page's row is
// highlighted. Pinned rows are reordered by dragging. The column and the sliding panel each
// have one; both follow the same stored state. Main thread only.
class Sidebar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 240;

    // attention may be null (then Settings shows no badge).
    Sidebar(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults, SettingsAttention *attention,
            QWidget *parent = nullptr);
    ~Sidebar() override;

    // The row of an item, or null when the sidebar shows none (a collapsed group's rows exist but
    // are hidden).
    SidebarRow *row(const SidebarItem &item) const;
    SidebarRow *settingsRow() const { return m_settings; }
    SidebarGroupHeader *header(const QString &groupId) const;
    // The rows a person sees, top to bottom (Settings last).
    QList<SidebarItem> visibleRows() const;

    bool isSelected(const SidebarItem &item) const;
    void open(const SidebarItem &item);
    // Collapses an expanded group or expands a collapsed one (stored for every sidebar).
    void toggleGroup(const QString &groupId);

    // The pinned tool being dragged, while a drag of a pinned row is under way.
    std::optional<WorkspaceTool> draggingPin() const { return m_draggingPin; }
    // Drags a pinned row; returns when the drag has ended, wherever it ended, and the drag state
    // is cleared then.
    void dragPin(WorkspaceTool tool);
    // Runs a pin's drag: QDrag::exec unless a test stands in for the window system's drag loop.
    using DragLoop = std::function<Qt::DropAction(QDrag *)>;
    void setDragLoop(DragLoop loop) { m_dragLoop = std::move(loop); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Group {
        QString id;
        SidebarGroupHeader *header = nullptr;
        QWidget *rows = nullptr;
        QVBoxLayout *rowsLayout = nullptr;
        QVariantAnimation *animation = nullptr;
        bool collapsed = false;
    };

    SidebarRow *makeRow(const SidebarItem &item, QWidget *parent);
    Group *makeGroup(const QString &id, QVBoxLayout *into);
    Group *group(const QString &id) const;
    void updatePinnedRows();
    void updateSelection();
    // Scrolls the selected row wholly into view with a line of its neighbours, leaving no row cut
    // at the top edge; waits until the sidebar is shown, as a hidden one has no settled geometry.
    void revealSelection();
    void updateCollapsed(bool animated);
    void setGroupCollapsed(Group &group, bool collapsed, bool animated);
    void retranslate();
    void updateAttention();
    void updateFooterHeight();
    // Live reorder while a pinned row is dragged over another: the dragged tool takes its place.
    void dragEntered(WorkspaceTool target);
    std::optional<WorkspaceTool> pinnedToolOf(QObject *row) const;

    AppNavigation &m_navigation;
    PinnedTools &m_pins;
    Defaults &m_defaults;
    QPointer<SettingsAttention> m_attention;
    QScrollArea *m_scroll;
    QVBoxLayout *m_stack;
    QHash<SidebarItem, SidebarRow *> m_rows;
    QHash<WorkspaceTool, SidebarRow *> m_pinnedRows;
    std::vector<std::unique_ptr<Group>> m_groups;
    QWidget *m_footer;
    SidebarRow *m_settings;
    QPointer<SidebarRow> m_reveal;
    std::optional<WorkspaceTool> m_draggingPin;
    DragLoop m_dragLoop;
};

} // namespace velmora
