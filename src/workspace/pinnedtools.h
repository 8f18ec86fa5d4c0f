#pragma once

#include "workspace/workspacetool.h"

#include <QList>
#include <QObject>

namespace velmora {

class Defaults;

// The user's short ordered list of favourite tools (at most 9, opened with Ctrl+1 to Ctrl+9),
// stored under "pinnedTools" and written back after every change. Main thread only.
class PinnedTools : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPins = 9;

    // Loads the stored list; when none is stored (or the stored value is not a list of
    // strings), pins the defaults and writes them at once.
    explicit PinnedTools(Defaults &defaults, QObject *parent = nullptr);

    const QList<WorkspaceTool> &tools() const { return m_tools; }
    bool isPinned(WorkspaceTool tool) const { return m_tools.contains(tool); }
    // The position of the tool in the list, or none.
    std::optional<int> indexOf(WorkspaceTool tool) const;
    // Appends the tool unless it is pinned already or the list is full.
    void pin(WorkspaceTool tool);
    void unpin(WorkspaceTool tool);
    // Moves a pinned tool to index, clamped into the list.
    void move(WorkspaceTool tool, int index);

    static QList<WorkspaceTool> defaultTools();

signals:
    void toolsChanged();

private:
    void save();

    Defaults &m_defaults;
    QList<WorkspaceTool> m_tools;
};

} // namespace velmora
