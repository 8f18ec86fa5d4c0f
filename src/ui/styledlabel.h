#pragma once

#include "ui/typography.h"

#include <QWidget>

#include <optional>

namespace velmora {

// A text set in one of the kit's styles: the style's font, line spacing and colour at the
// environment's text size and colour scheme. One line, elided at the end when too narrow, or
// wrapped onto as many lines as it needs (height for width). The text is shown as given:
// callers translate it.
class StyledLabel : public QWidget {
    Q_OBJECT
public:
    explicit StyledLabel(Typography style = Typography::Body, QWidget *parent = nullptr);
    StyledLabel(const QString &text, Typography style, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    Typography typography() const { return m_style; }
    void setTypography(Typography style);

    // A colour that replaces the style's default; none keeps the default.
    std::optional<ColorName> color() const { return m_color; }
    void setColor(std::optional<ColorName> color);

    bool wordWrap() const { return m_wrap; }
    void setWordWrap(bool wrap);
    // Wrapped text shows at most this many lines, the last one cut with an ellipsis; 0: all.
    int maximumLineCount() const { return m_maxLines; }
    void setMaximumLineCount(int lines);

    // Pads top and bottom by half the style's line spacing, so one line takes a full line.
    void setFullLineHeight(bool on);
    // Marks the text as a heading for screen readers.
    void setHeading(bool heading);
    bool isHeading() const { return m_heading; }
    // Keeps the ideal width as the minimum, so the text is never truncated.
    void setKeepsIdealWidth(bool keeps);
    void setAlignment(Qt::Alignment alignment);
    void setOpacity(qreal opacity);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_wrap; }
    int heightForWidth(int width) const override;

    // The natural width of the text on one line, and the height of one line with padding.
    qreal idealTextWidth() const;
    int lineHeight() const;
    // Where the first line's baseline falls, from the top of the widget as it is painted now:
    // what aligns a label with text of another style beside it.
    qreal firstBaseline() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int padding() const;
    void changed();

    QString m_text;
    Typography m_style;
    std::optional<ColorName> m_color;
    bool m_wrap = false;
    int m_maxLines = 0;
    bool m_fullLineHeight = false;
    bool m_heading = false;
    bool m_keepsIdeal = false;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    qreal m_opacity = 1.0;
};

} // namespace velmora
