#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <optional>

class QScrollArea;
class QVariantAnimation;

namespace velmora {

class Button;
class StyledLabel;

// The framed pane in which a tool page shows one of its texts: a header row (a title on the
// leading side, the pane's buttons on the trailing side, an optional level bar under it), a
// body, and a footer of short facts such as a count. As the pane narrows the header drops the
// buttons' titles, then key hints and full option widths, keeping the title on one line. A live
// pane wears a focus ring; the widget reserves a 3 px band around the pane for it.
class WorkspacePane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRingBand = 3;
    enum class HeaderLayout { Full, IconOnly, Compact };

    // title: the pane's title view (a StyledLabel is set in bodyEmphasis); content: the body;
    // controls: the header buttons (Buttons in the pane style follow the header's icon-only form).
    WorkspacePane(QWidget *title, QWidget *content, const QList<QWidget *> &controls = {}, QWidget *parent = nullptr);

    void setNotes(const QStringList &notes);
    void setCount(const std::optional<QString> &count);
    void setLive(bool live);
    bool isLive() const { return m_live; }
    // Fills the level bar to this fraction, clamped to 0...1; none draws no bar.
    void setLevel(std::optional<double> level);
    std::optional<double> level() const { return m_level; }
    // Keeps room at that header edge for a control the page lays over the pane.
    void setSwapEdge(std::optional<Qt::Edge> edge);
    void setScrollsBody(bool scrolls);

    HeaderLayout headerLayout() const { return m_layout; }
    QWidget *header() const { return m_header; }
    QWidget *footer() const { return m_footer; }
    QWidget *body() const { return m_content; }
    // The pane's frame inside the ring band.
    QRect paneRect() const;
    // The level bar's filled width for the current level and header width.
    qreal levelFillWidth() const;
    int headerLeadingInset() const;
    int headerTrailingInset() const;
    qreal ringOpacity() const { return m_ring; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();
    void chooseHeaderLayout();
    int headerIdealWidth(HeaderLayout layout) const;
    void applyHeaderLayout(HeaderLayout layout);
    void rebuildFooter();
    int barHeight() const;

    QWidget *m_title;
    QWidget *m_content;
    QList<QPointer<QWidget>> m_controls;
    QWidget *m_header;
    QWidget *m_controlsBox;
    QWidget *m_footer;
    QScrollArea *m_scroll = nullptr;
    QStringList m_notes;
    std::optional<QString> m_count;
    QList<StyledLabel *> m_footerLabels;
    bool m_live = false;
    qreal m_ring = 0;
    std::optional<double> m_level;
    qreal m_shownLevel = 0;
    std::optional<Qt::Edge> m_swapEdge;
    bool m_scrollsBody = false;
    HeaderLayout m_layout = HeaderLayout::Full;
    QVariantAnimation *m_ringAnimation;
    QVariantAnimation *m_levelAnimation;
};

// The strip a tool page shows while a setup step is missing: a warning symbol, the sentence
// (wrapping as needed) and a link-style button to where the step is done.
class SetupBanner : public QWidget {
    Q_OBJECT
public:
    SetupBanner(const QString &message, const QString &link, QWidget *parent = nullptr);

    void setMessage(const QString &message);
    void setLink(const QString &link);
    Button *linkButton() const { return m_link; }
    StyledLabel *messageLabel() const { return m_message; }
    int symbolPointSize() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void linkActivated();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();

    StyledLabel *m_message;
    Button *m_link;
};

} // namespace velmora
