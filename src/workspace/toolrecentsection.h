#pragma once

#include "workspace/workspacetool.h"

#include <QWidget>

class QHBoxLayout;
class QScrollArea;

namespace velmora {

class AppNavigation;
class Button;
class RecentCardFactory;
class RecentHistorySource;
class StyledLabel;
class ToolRecentEntries;

// The "Recent" shelf at the foot of a tool page: the tool's newest History entries as cards in a
// row that scrolls sideways, and "See all", which opens History on this tool. Shown only while
// there is an entry; it loads when its page is built and again whenever History changes.
class ToolRecentSection : public QWidget {
    Q_OBJECT
public:
    ToolRecentSection(WorkspaceTool tool, RecentHistorySource &source, AppNavigation &navigation,
                      RecentCardFactory &cards, QWidget *parent = nullptr);

    ToolRecentEntries *entries() const { return m_entries; }
    StyledLabel *title() const { return m_title; }
    Button *seeAllButton() const { return m_seeAll; }
    // The cards shown, in order.
    QList<QWidget *> cards() const { return m_cards; }
    // The row of cards, as tall as its tallest card.
    QScrollArea *row() const { return m_scroll; }

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuild();
    void retranslate();

    WorkspaceTool m_tool;
    RecentCardFactory &m_factory;
    ToolRecentEntries *m_entries;
    StyledLabel *m_title;
    Button *m_seeAll;
    QWidget *m_shelf;
    QScrollArea *m_scroll;
    QHBoxLayout *m_row;
    QList<QWidget *> m_cards;
};

} // namespace velmora
