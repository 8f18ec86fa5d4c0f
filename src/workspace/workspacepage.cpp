#include "workspace/workspacepage.h"

#include <QCoreApplication>
#include <QHashFunctions>

namespace velmora {

std::optional<WorkspaceTool> WorkspacePage::workspaceTool() const {
    if (m_kind != Kind::Tool)
        return std::nullopt;
    return m_tool;
}

QString WorkspacePage::id() const {
    switch (m_kind) {
    case Kind::Tool: return toString(m_tool);
    case Kind::Home: return QStringLiteral("home");
    case Kind::Notes: return QStringLiteral("notes");
    case Kind::History: return QStringLiteral("history");
    case Kind::Settings: return QStringLiteral("settings");
    }
    return {};
}

std::optional<WorkspacePage> WorkspacePage::fromId(const QString &id) {
    if (id == u"home")
        return home();
    if (id == u"notes")
        return notes();
    if (id == u"history")
        return history();
    if (id == u"settings")
        return settings();
    if (auto tool = workspaceToolFromString(id))
        return WorkspacePage::tool(*tool);
    return std::nullopt;
}

QString WorkspacePage::title() const {
    switch (m_kind) {
    case Kind::Tool: return toolName(m_tool);
    case Kind::Home: return QCoreApplication::translate("Workspace", "Home", "Sidebar item and page title");
    case Kind::Notes: return QCoreApplication::translate("Notes", "Notes", "Sidebar item and page title");
    case Kind::History: return QCoreApplication::translate("Workspace", "History", "Sidebar item and page title");
    case Kind::Settings: return QCoreApplication::translate("Localizable", "Settings");
    }
    return {};
}

QString WorkspacePage::symbol() const {
    switch (m_kind) {
    case Kind::Tool: return toolSymbol(m_tool);
    case Kind::Home: return QStringLiteral("house");
    case Kind::Notes: return QStringLiteral("note.text");
    case Kind::History: return QStringLiteral("clock.arrow.circlepath");
    case Kind::Settings: return QStringLiteral("gearshape");
    }
    return {};
}

size_t qHash(const WorkspacePage &page, size_t seed) {
    const int tool = page.workspaceTool() ? int(*page.workspaceTool()) : -1;
    return qHashMulti(seed, int(page.kind()), tool);
}

} // namespace velmora
