#pragma once

#include "ui/textsize.h"

#include <QSizeF>
#include <QTextEdit>

#include <memory>
#include <optional>

class QMenu;

namespace velmora {

// Adds items to a text view's context menu (the workspace's Send to items for a selection).
class TextMenuProvider {
public:
    virtual ~TextMenuProvider() = default;
    virtual void addItems(QMenu *menu, QTextEdit *textView) const = 0;
};

// A tool's result: plain text in the reading style, with filled bullets drawn for lines written
// as simple lists (hanging indent under the item's text). While a reply streams, growing text is
// appended in place (only the new tail is inserted and restyled) behind an accent typing cursor
// and the view cannot be typed in; once the run is over the text is editable and each edit is
// reported whole through edited(). A text that does not continue the shown one replaces it and
// clears the undo history, so undo never crosses a programmatic change. Updates that arrive while
// an input method is composing are skipped: the next update compares again.
class ResultTextView : public QTextEdit {
    Q_OBJECT
public:
    static constexpr char16_t kStreamingCursor = u'\u258E';

    // A list marker found at the start of a paragraph: indent (spaces and tabs), the marker
    // glyph's length and the gap after it, in UTF-16 units.
    struct BulletMarker {
        int indent = 0;
        int glyphLength = 1;
        int gap = 1;
        bool operator==(const BulletMarker &) const = default;
    };
    // "- ", "* ", "• " after an optional indent, or "・" with no gap; anything else is no marker.
    static std::optional<BulletMarker> bulletMarker(QStringView paragraph);

    explicit ResultTextView(QWidget *parent = nullptr);
    ~ResultTextView() override;

    // Shows text, followed by the typing cursor while streaming.
    void setResult(const QString &text, bool isStreaming);
    QString resultText() const;
    bool isStreaming() const { return m_streaming; }

    // The text as it stands in the view (with the typing cursor while streaming).
    QString shownText() const { return m_current; }

    // width: the least horizontal inset, height: the vertical inset, in pixels.
    void setInset(const QSizeF &inset);
    QSizeF inset() const { return m_inset; }
    // Keeps the text in a centred column of limited width.
    void setCentered(bool centered);
    bool isCentered() const { return m_centered; }
    // Extra space after each list paragraph.
    void setBulletSpacing(qreal spacing);
    qreal bulletSpacing() const { return m_bulletSpacing; }

    // The column width while centred (672, 760, 852, 940 for the text sizes), else none.
    std::optional<qreal> columnWidth() const;
    // The horizontal text inset in effect.
    qreal horizontalInset() const;

    void setSendTo(std::shared_ptr<const TextMenuProvider> sendTo);

    // Whether the view holds keyboard focus for editing (a click or a key took it there).
    bool isFocusedForEditing() const { return m_focused; }

    // The bullets drawn on the visible part, in viewport coordinates (for tests and painting).
    QList<QRectF> bulletRects() const;

signals:
    void edited(const QString &text);
    void focusChanged(bool focused);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void refresh(const QString &text, bool force);
    void restyle(int from, bool joinUserEdit);
    void applyMargins();
    void contentsChanged(int position, int removed, int added);
    bool composing() const;
    void setFocused(bool focused);
    void applyPalette();
    QString plainContent() const;

    // A text that arrived during input-method composition, shown by the next update.
    std::optional<QString> m_pending;
    bool m_streaming = false;
    QString m_current;
    TextSize m_styledSize = TextSize::Standard;
    bool m_styledStreaming = false;
    bool m_styledOnce = false;
    QSizeF m_inset;
    bool m_centered = false;
    qreal m_bulletSpacing = 0;
    bool m_applying = false;
    bool m_focused = false;
    std::shared_ptr<const TextMenuProvider> m_sendTo;
};

} // namespace velmora
