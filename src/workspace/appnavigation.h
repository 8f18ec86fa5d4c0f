#pragma once

#include "workspace/navigationhistory.h"
#include "workspace/settingscategory.h"
#include "workspace/slidingpanel.h"
#include "workspace/workspacepage.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <limits>
#include <optional>

namespace velmora {

class Defaults;
class WorkspaceNotes;

// The one navigation state of the main window: the page, the selected note and History entry,
// the History search and filter, the Settings pane, which side columns are hidden, fit or slide
// over the page, and the back and forward history. Every page, note, entry and Settings pane is
// opened through it. Setters notify only on a real change. Main thread only.
class AppNavigation : public QObject {
    Q_OBJECT
public:
    // The sidebar column with its rule.
    static constexpr int kSidebarColumn = 241;
    // The list column of Notes and History with its rule.
    static constexpr int kListColumn = 321;

    // Reads the launch overrides and the two stored list flags from defaults.
    AppNavigation(Defaults &defaults, WorkspaceNotes &notes, QObject *parent = nullptr);
    ~AppNavigation() override;

    WorkspacePage page() const { return m_page; }
    bool fromPinned() const { return m_fromPinned; }
    std::optional<QUuid> historySelection() const { return m_historySelection; }
    QString historyQuery() const { return m_historyQuery; }
    QSet<WorkspaceTool> historyTools() const { return m_historyTools; }
    SettingsCategory settingsCategory() const { return m_settingsCategory; }
    bool sidebarHidden() const { return m_sidebarHidden; }
    double windowWidth() const { return m_windowWidth; }
    // The body size in points of the text size the layout was computed for.
    int textBodySize() const { return m_textBodySize; }
    bool sidebarFits() const { return m_sidebarFits; }
    bool listFits() const { return m_listFits; }
    std::optional<SlidingPanel> slideOver() const { return m_slideOver; }
    bool noteListHidden() const { return m_noteListHidden; }
    bool historyListHidden() const { return m_historyListHidden; }
    const NavigationHistory &history() const { return m_history; }
    WorkspaceNotes &notes() const { return m_notes; }

    void setHistorySelection(const std::optional<QUuid> &entry);
    void setHistoryQuery(const QString &query);
    void setHistoryTools(const QSet<WorkspaceTool> &tools);
    void setSettingsCategory(SettingsCategory category);
    // Stores the flag, then recomputes the layout (also when it did not change).
    void setSidebarHidden(bool hidden);
    // Stored flags: written to the defaults on every assignment, changed or not.
    void setNoteListHidden(bool hidden);
    void setHistoryListHidden(bool hidden);
    void setSlideOver(std::optional<SlidingPanel> panel);
    // Layout inputs from the main window; they notify nobody until updateLayout().
    void setWindowWidth(double width) { m_windowWidth = width; }
    void setTextBodySize(int points) { m_textBodySize = points; }

    // The place shown now.
    NavigationStep currentStep() const;

    void open(const WorkspacePage &page, bool fromPinned = false);
    void openSettings(std::optional<SettingsCategory> category = std::nullopt);
    void newNote();
    // Selects a note in the list of the Notes page.
    void selectNote(const QUuid &note);
    // Shows a note from anywhere.
    void openNote(const QUuid &note);
    void openHistoryEntry(const QUuid &entry);
    void selectHistoryEntry(const QUuid &entry);
    // Removes a deleted entry from the back and forward lists.
    void forgetHistoryEntry(const QUuid &entry);
    void goBack();
    void goForward();

    // Sends the mouse's back and forward buttons, pressed anywhere in the application, to
    // goBack() and goForward(); they never reach the widgets. Installs one filter per process.
    void installMouseButtons();

    // Layout.
    // The room the list column and the page need together at a body text size.
    static int contentMinimum(int textBodySize);
    void updateLayout();
    bool sidebarVisible() const;
    // The hidden flag of the current page's list.
    bool listHidden() const;
    bool listVisible() const;
    void toggleSidebar();
    void toggleList();
    void closeSlideOver();

signals:
    void pageChanged();
    void fromPinnedChanged();
    void historySelectionChanged();
    void historyQueryChanged();
    void historyToolsChanged();
    void settingsCategoryChanged();
    void sidebarHiddenChanged();
    void sidebarFitsChanged();
    void listFitsChanged();
    void slideOverChanged();
    void noteListHiddenChanged();
    void historyListHiddenChanged();
    // Every change of the back and forward lists.
    void historyChanged();

private:
    void record(const NavigationStep &step);
    void apply(const NavigationStep &step);
    void setPage(const WorkspacePage &page, bool fromPinned);
    void pushStep(const NavigationStep &step);
    NavigationHistory::NoteExists noteExists() const;

    Defaults &m_defaults;
    WorkspaceNotes &m_notes;
    WorkspacePage m_page = WorkspacePage::home();
    bool m_fromPinned = false;
    std::optional<QUuid> m_historySelection;
    QString m_historyQuery;
    QSet<WorkspaceTool> m_historyTools;
    SettingsCategory m_settingsCategory = SettingsCategory::General;
    bool m_sidebarHidden = false;
    double m_windowWidth = std::numeric_limits<double>::infinity();
    int m_textBodySize = 13;
    bool m_sidebarFits = true;
    bool m_listFits = true;
    std::optional<SlidingPanel> m_slideOver;
    bool m_noteListHidden = false;
    bool m_historyListHidden = false;
    NavigationHistory m_history;
};

} // namespace velmora
