#pragma once

#include <QScrollArea>

class QVBoxLayout;

namespace velmora {

// A plain scrolling page: a header, then a column of sections, inset 40 left and right, 32 at
// the top and 40 at the bottom (fixed at every text size), as wide as the window allows.
class PageScaffold : public QScrollArea {
    Q_OBJECT
public:
    PageScaffold(qreal sectionSpacing, qreal headerSpacing, QWidget *parent = nullptr);

    // Takes ownership.
    void setHeader(QWidget *header);
    void addSection(QWidget *section);
    QWidget *header() const { return m_header; }
    QWidget *contentColumn() const { return m_column; }

protected:
    bool event(QEvent *event) override;

private:
    QWidget *m_header = nullptr;
    QVBoxLayout *m_outer;
    QWidget *m_column;
    QVBoxLayout *m_sections;
};

// The page of a text or voice tool: the header and the working area together fill the first
// screen (down to 68 px above its bottom edge), and the tool's recent History (a view the
// caller supplies) begins 32 px below them, so its top shows at the bottom of the first screen.
// A taller working area pushes the recent section further down. No scroll bars are shown.
class ToolPageScaffold : public QScrollArea {
    Q_OBJECT
public:
    ToolPageScaffold(QWidget *header, QWidget *workspace, QWidget *recent, QWidget *parent = nullptr);

    QWidget *header() const { return m_header; }
    QWidget *workspace() const { return m_workspace; }
    QWidget *recentSection() const { return m_recent; }
    // The block of header and workspace.
    QWidget *workBlock() const { return m_block; }

    // The least height of the header-and-workspace block for a visible height.
    static qreal minimumBlockHeight(qreal visibleHeight);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateMinimum();

    QWidget *m_header;
    QWidget *m_workspace;
    QWidget *m_recent;
    QWidget *m_block;
};

} // namespace velmora
