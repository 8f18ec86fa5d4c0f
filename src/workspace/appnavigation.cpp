#include "workspace/appnavigation.h"

#include "core/defaults.h"
#include "workspace/workspacenotes.h"
#include "workspace/workspacesettings.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>

#include <cmath>

namespace velmora {

namespace {

void assertMainThread() {
    Q_ASSERT(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread());
}

// The mouse's back and forward buttons, wherever they are pressed. Installed once per process on
// the application object; it acts on the navigation it was installed for.
class MouseButtonsFilter : public QObject {
public:
    explicit MouseButtonsFilter(AppNavigation *navigation) : QObject(QCoreApplication::instance()), m_nav(navigation) {}

    bool isAttached() const { return !m_nav.isNull(); }
    void attach(AppNavigation *navigation) { m_nav = navigation; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: break;
        default: return QObject::eventFilter(watched, event);
        }
        const auto button = static_cast<QMouseEvent *>(event)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton)
            return false;
        assertMainThread();
        // A quick second press comes as a press followed by a double click: only presses count.
        if (event->type() == QEvent::MouseButtonPress && m_nav) {
            if (button == Qt::BackButton)
                m_nav->goBack();
            else
                m_nav->goForward();
        }
        return true; // the press, its release and the double click never reach a widget
    }

private:
    QPointer<AppNavigation> m_nav;
};

QPointer<MouseButtonsFilter> &mouseButtonsSlot() {
    static QPointer<MouseButtonsFilter> slot;
    return slot;
}

QSet<WorkspaceTool> parseToolList(const QString &value) {
    QSet<WorkspaceTool> tools;
    const QStringList pieces = value.split(u',', Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        if (auto tool = workspaceToolFromString(piece))
            tools.insert(*tool);
    }
    return tools;
}

} // namespace

AppNavigation::AppNavigation(Defaults &defaults, WorkspaceNotes &notes, QObject *parent)
    : QObject(parent), m_defaults(defaults), m_notes(notes) {
    m_noteListHidden = defaults.get(kNoteListHidden);
    m_historyListHidden = defaults.get(kHistoryListHidden);

    if (auto page = defaults.argument(kPageOverride.name)) {
        if (auto p = WorkspacePage::fromId(*page))
            m_page = *p;
    }
    const QString entry = defaults.get(kHistoryEntryOverride);
    const QUuid entryId(entry);
    if (!entryId.isNull())
        m_historySelection = entryId;
    m_historyQuery = defaults.get(kHistoryQueryOverride);
    m_historyTools = parseToolList(defaults.get(kHistoryToolsOverride));
    m_settingsCategory =
        settingsCategoryFromString(defaults.get(kSettingsCategoryOverride)).value_or(SettingsCategory::General);
    m_sidebarHidden = defaults.get(kSidebarHiddenOverride);
    setSlideOver(slidingPanelFromString(defaults.get(kSlideOverOverride)));
}

AppNavigation::~AppNavigation() = default;

void AppNavigation::setHistorySelection(const std::optional<QUuid> &entry) {
    if (m_historySelection == entry)
        return;
    m_historySelection = entry;
    emit historySelectionChanged();
}

void AppNavigation::setHistoryQuery(const QString &query) {
    if (m_historyQuery == query)
        return;
    m_historyQuery = query;
    emit historyQueryChanged();
}

void AppNavigation::setHistoryTools(const QSet<WorkspaceTool> &tools) {
    if (m_historyTools == tools)
        return;
    m_historyTools = tools;
    emit historyToolsChanged();
}

void AppNavigation::setSettingsCategory(SettingsCategory category) {
    if (m_settingsCategory == category)
        return;
    m_settingsCategory = category;
    emit settingsCategoryChanged();
}

void AppNavigation::setSidebarHidden(bool hidden) {
    if (m_sidebarHidden != hidden) {
        m_sidebarHidden = hidden;
        emit sidebarHiddenChanged();
    }
    updateLayout();
}

void AppNavigation::setNoteListHidden(bool hidden) {
    if (m_noteListHidden != hidden) {
        m_noteListHidden = hidden;
        emit noteListHiddenChanged();
    }
    m_defaults.set(kNoteListHidden, hidden);
}

void AppNavigation::setHistoryListHidden(bool hidden) {
    if (m_historyListHidden != hidden) {
        m_historyListHidden = hidden;
        emit historyListHiddenChanged();
    }
    m_defaults.set(kHistoryListHidden, hidden);
}

void AppNavigation::setSlideOver(std::optional<SlidingPanel> panel) {
    if (m_slideOver == panel)
        return;
    m_slideOver = panel;
    emit slideOverChanged();
}

NavigationStep AppNavigation::currentStep() const {
    NavigationStep step;
    step.page = m_page;
    step.fromPinned = m_fromPinned;
    if (m_page == WorkspacePage::notes())
        step.item = m_notes.selectedNoteId();
    else if (m_page == WorkspacePage::history())
        step.item = m_historySelection;
    if (m_page == WorkspacePage::history())
        step.historyTools = m_historyTools;
    return step;
}

void AppNavigation::pushStep(const NavigationStep &step) {
    m_history.push(step);
    emit historyChanged();
}

void AppNavigation::record(const NavigationStep &step) {
    const NavigationStep current = currentStep();
    if (current == step)
        return;
    pushStep(current);
}

void AppNavigation::setPage(const WorkspacePage &page, bool fromPinned) {
    if (m_page != page) {
        m_page = page;
        emit pageChanged();
    }
    if (m_fromPinned != fromPinned) {
        m_fromPinned = fromPinned;
        emit fromPinnedChanged();
    }
    setSlideOver(std::nullopt);
}

void AppNavigation::open(const WorkspacePage &page, bool fromPinned) {
    assertMainThread();
    if (page != m_page)
        pushStep(currentStep());
    setPage(page, fromPinned);
    if (page == WorkspacePage::history() && !m_listFits && !m_historyListHidden)
        setSlideOver(SlidingPanel::List);
}

void AppNavigation::openSettings(std::optional<SettingsCategory> category) {
    if (category)
        setSettingsCategory(*category);
    open(WorkspacePage::settings(), false);
}

void AppNavigation::newNote() {
    assertMainThread();
    const NavigationStep before = currentStep();
    setPage(WorkspacePage::notes(), false);
    m_notes.newNote();
    if (currentStep() != before)
        pushStep(before);
}

void AppNavigation::selectNote(const QUuid &note) {
    record({WorkspacePage::notes(), false, note, {}});
    m_notes.selectNote(note);
    setSlideOver(std::nullopt);
}

void AppNavigation::openNote(const QUuid &note) {
    record({WorkspacePage::notes(), false, note, {}});
    if (!m_notes.listsNote(note))
        m_notes.clearSearch();
    m_notes.selectNote(note);
    setPage(WorkspacePage::notes(), false);
}

void AppNavigation::openHistoryEntry(const QUuid &entry) {
    record({WorkspacePage::history(), false, entry, {}});
    setHistoryQuery(QString());
    setHistoryTools({});
    setHistorySelection(entry);
    setPage(WorkspacePage::history(), false);
}

void AppNavigation::selectHistoryEntry(const QUuid &entry) {
    record({WorkspacePage::history(), false, entry, {}});
    setHistorySelection(entry);
    setSlideOver(std::nullopt);
}

void AppNavigation::forgetHistoryEntry(const QUuid &entry) {
    m_history.forgetHistoryEntry(entry);
    emit historyChanged();
}

NavigationHistory::NoteExists AppNavigation::noteExists() const {
    return [this](const QUuid &id) { return m_notes.containsNote(id); };
}

void AppNavigation::goBack() {
    assertMainThread();
    const NavigationStep current = currentStep();
    auto step = m_history.back(current, noteExists());
    emit historyChanged();
    if (step)
        apply(*step);
}

void AppNavigation::goForward() {
    assertMainThread();
    const NavigationStep current = currentStep();
    auto step = m_history.forward(current, noteExists());
    emit historyChanged();
    if (step)
        apply(*step);
}

void AppNavigation::apply(const NavigationStep &step) {
    if (step.page == WorkspacePage::notes() && step.item) {
        if (!m_notes.listsNote(*step.item))
            m_notes.clearSearch();
        m_notes.selectNote(*step.item);
    } else if (step.page == WorkspacePage::history()) {
        setHistoryTools(step.historyTools);
        if (step.item) {
            setHistoryQuery(QString());
            setHistorySelection(*step.item);
        }
    }
    setPage(step.page, step.fromPinned);
}

void AppNavigation::installMouseButtons() {
    assertMainThread();
    auto &slot = mouseButtonsSlot();
    if (slot) {
        // The slot outlives a navigation that went away (tests make several); a live one keeps it.
        if (!slot->isAttached())
            slot->attach(this);
        return;
    }
    if (!QCoreApplication::instance())
        return;
    slot = new MouseButtonsFilter(this);
    QCoreApplication::instance()->installEventFilter(slot);
}

int AppNavigation::contentMinimum(int textBodySize) {
    if (textBodySize == 13)
        return 841;
    // 520 scaled with the body text, on a 4-point grid; halves away from zero.
    const double n = std::round(520.0 * textBodySize / 13.0 / 4.0);
    return kListColumn + 4 * int(n);
}

void AppNavigation::updateLayout() {
    const double a = contentMinimum(m_textBodySize);
    const double w = m_windowWidth;
    const bool sidebarFits = w >= a + kSidebarColumn;
    const double available = sidebarFits && !m_sidebarHidden ? w - kSidebarColumn : w;
    const bool listFits = a <= available;
    // A panel closes only when its column starts to fit, so the column replaces it.
    if ((m_slideOver == SlidingPanel::Sidebar && sidebarFits && !m_sidebarFits) ||
        (m_slideOver == SlidingPanel::List && listFits && !m_listFits))
        setSlideOver(std::nullopt);
    if (m_sidebarFits != sidebarFits) {
        m_sidebarFits = sidebarFits;
        emit sidebarFitsChanged();
    }
    if (m_listFits != listFits) {
        m_listFits = listFits;
        emit listFitsChanged();
    }
}

bool AppNavigation::sidebarVisible() const {
    return (!m_sidebarHidden && m_sidebarFits) || m_slideOver == SlidingPanel::Sidebar;
}

bool AppNavigation::listHidden() const {
    return m_page == WorkspacePage::history() ? m_historyListHidden : m_noteListHidden;
}

bool AppNavigation::listVisible() const {
    return (!listHidden() && m_listFits) || m_slideOver == SlidingPanel::List;
}

void AppNavigation::toggleSidebar() {
    assertMainThread();
    if (m_sidebarFits) {
        setSidebarHidden(!m_sidebarHidden);
        return;
    }
    setSlideOver(m_slideOver == SlidingPanel::Sidebar ? std::nullopt : std::optional(SlidingPanel::Sidebar));
}

void AppNavigation::toggleList() {
    assertMainThread();
    if (m_listFits) {
        if (m_page == WorkspacePage::history())
            setHistoryListHidden(!m_historyListHidden);
        else
            setNoteListHidden(!m_noteListHidden);
        return;
    }
    setSlideOver(m_slideOver == SlidingPanel::List ? std::nullopt : std::optional(SlidingPanel::List));
}

void AppNavigation::closeSlideOver() {
    assertMainThread();
    setSlideOver(std::nullopt);
}

} // namespace velmora
