#pragma once

#include "workspace/workspacetool.h"

#include <QString>

#include <optional>

namespace velmora {

// One page of the main window: Home, Notes, History, Settings or the page of one tool.
class WorkspacePage {
public:
    enum class Kind { Tool, Home, Notes, History, Settings };

    static WorkspacePage tool(WorkspaceTool tool) { return WorkspacePage(Kind::Tool, tool); }
    static WorkspacePage home() { return WorkspacePage(Kind::Home); }
    static WorkspacePage notes() { return WorkspacePage(Kind::Notes); }
    static WorkspacePage history() { return WorkspacePage(Kind::History); }
    static WorkspacePage settings() { return WorkspacePage(Kind::Settings); }

    Kind kind() const { return m_kind; }
    bool isTool() const { return m_kind == Kind::Tool; }
    // The tool of a tool page; none for the other pages.
    std::optional<WorkspaceTool> workspaceTool() const;

    // "home", "notes", "history", "settings" or the tool's stored form.
    QString id() const;
    // The page an id names (exact, case-sensitive), or none.
    static std::optional<WorkspacePage> fromId(const QString &id);

    // The page's title in the current interface language.
    QString title() const;
    QString symbol() const;

    bool operator==(const WorkspacePage &) const = default;

private:
    explicit WorkspacePage(Kind kind, WorkspaceTool tool = WorkspaceTool::Dictation) : m_kind(kind), m_tool(tool) {}

    Kind m_kind;
    WorkspaceTool m_tool; // Dictation on every page that is not a tool's, so equality holds
};

size_t qHash(const WorkspacePage &page, size_t seed = 0);

} // namespace velmora
