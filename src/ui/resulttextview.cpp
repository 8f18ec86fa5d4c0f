#include "ui/resulttextview.h"

#include "ui/environment.h"
#include "ui/typography.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTimer>

#include <cmath>

namespace velmora {

namespace {

constexpr qreal kMarkerKern = 4.0;
constexpr qreal kBulletFactor = 0.34;
// Block property that marks a list paragraph whose marker the view paints as a bullet.
constexpr int kBulletProperty = QTextFormat::UserProperty + 1;

struct Guard {
    bool &flag;
    bool previous;
    explicit Guard(bool &f) : flag(f), previous(f) { flag = true; }
    ~Guard() { flag = previous; }
};

} // namespace

std::optional<ResultTextView::BulletMarker> ResultTextView::bulletMarker(QStringView paragraph) {
    int i = 0;
    while (i < paragraph.size() && (paragraph[i] == u' ' || paragraph[i] == u'\t'))
        ++i;
    const QStringView rest = paragraph.mid(i);
    for (QStringView marker : {QStringView(u"- "), QStringView(u"* "), QStringView(u"\u2022 ")}) {
        if (rest.startsWith(marker))
            return BulletMarker{i, 1, 1};
    }
    if (rest.startsWith(u'\u30FB'))
        return BulletMarker{i, 1, 0};
    return std::nullopt;
}

ResultTextView::ResultTextView(QWidget *parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_InputMethodEnabled);
    document()->setDocumentMargin(0);
    document()->setUndoRedoEnabled(false);
    connect(document(), &QTextDocument::contentsChange, this, &ResultTextView::contentsChanged);
    applyPalette();
    refresh(QString(), true);
}

ResultTextView::~ResultTextView() = default;

void ResultTextView::setResult(const QString &text, bool isStreaming) {
    m_streaming = isStreaming;
    refresh(text, false);
}

QString ResultTextView::resultText() const {
    if (m_pending)
        return *m_pending;
    if (m_styledStreaming && m_current.endsWith(QChar(kStreamingCursor)))
        return m_current.chopped(1);
    return m_current;
}

void ResultTextView::setInset(const QSizeF &inset) {
    if (inset == m_inset)
        return;
    m_inset = inset;
    applyMargins();
}

void ResultTextView::setCentered(bool centered) {
    if (centered == m_centered)
        return;
    m_centered = centered;
    applyMargins();
}

void ResultTextView::setBulletSpacing(qreal spacing) {
    if (spacing == m_bulletSpacing)
        return;
    m_bulletSpacing = spacing;
    Guard guard(m_applying);
    restyle(0, false);
}

void ResultTextView::setSendTo(std::shared_ptr<const TextMenuProvider> sendTo) {
    m_sendTo = std::move(sendTo);
}

std::optional<qreal> ResultTextView::columnWidth() const {
    if (!m_centered)
        return std::nullopt;
    const int reading = pointSize(Typography::Reading, Environment::textSize(this));
    return scaledByRatio(672, reading / 15.0, 4);
}

qreal ResultTextView::horizontalInset() const {
    if (auto column = columnWidth())
        return std::max(m_inset.width(), (viewport()->width() - *column) / 2);
    return m_inset.width();
}

bool ResultTextView::composing() const {
    const QTextBlock block = textCursor().block();
    return block.isValid() && block.layout() && !block.layout()->preeditAreaText().isEmpty();
}

QString ResultTextView::plainContent() const {
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}

void ResultTextView::refresh(const QString &text, bool force) {
    const TextSize size = Environment::textSize(this);
    if (isReadOnly() != m_streaming) {
        setReadOnly(m_streaming);
        setTextInteractionFlags(m_streaming ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                            : Qt::TextEditorInteraction);
    }
    if (m_streaming && hasFocus()) {
        // Typing stops with the run's start; focus leaves on the next turn, as a click would.
        QTimer::singleShot(0, this, [this] {
            if (m_streaming && hasFocus())
                clearFocus();
        });
    }

    // Compared and appended in place: a long reply is never copied whole per token.
    const QChar mark(kStreamingCursor);
    const bool same = m_streaming ? m_current.size() == text.size() + 1 && m_current.endsWith(mark) &&
                                        QStringView(m_current).chopped(1) == text
                                  : m_current == text;
    if (!force && m_styledOnce && same && m_styledSize == size && m_styledStreaming == m_streaming) {
        m_pending.reset();
        return;
    }
    if (composing()) {
        m_pending = text;
        return;
    }
    m_pending.reset();

    const bool hadCursor = m_styledStreaming && m_current.endsWith(mark);
    const qsizetype previous = hadCursor ? m_current.size() - 1 : -1;

    Guard guard(m_applying);
    if (!force && m_streaming && m_styledOnce && m_styledSize == size && hadCursor &&
        QStringView(text).startsWith(QStringView(m_current).first(previous))) {
        // Append: replace the old cursor with the new tail and the cursor.
        const QStringView tail = QStringView(text).sliced(previous);
        QTextCursor cursor(document());
        cursor.setPosition(int(previous));
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        QTextCharFormat base;
        base.setFont(fontFor(Typography::Reading, size));
        base.setForeground(Environment::color(this, ColorName::TextPrimary));
        cursor.insertText(tail.toString() + mark, base);
        m_current.chop(1);
        m_current.append(tail);
        m_current.append(mark);
        restyle(int(previous), false);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        return;
    }

    const QString shown = m_streaming ? text + mark : text;
    if (force || m_current != shown) {
        // Replace: no undo step may lead back across a programmatic change.
        document()->setUndoRedoEnabled(false);
        document()->setPlainText(shown);
        m_current = shown;
    }
    m_styledSize = size;
    m_styledStreaming = m_streaming;
    m_styledOnce = true;
    document()->setUndoRedoEnabled(false);
    document()->setDefaultFont(fontFor(Typography::Reading, size));
    applyMargins();
    restyle(0, false);
    // Undo is kept only for the user's own edits, once the run is over.
    document()->setUndoRedoEnabled(!m_streaming);
    if (m_streaming)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ResultTextView::restyle(int from, bool joinUserEdit) {
    QTextDocument *doc = document();
    const TextSize size = m_styledSize;
    const QFont font = fontFor(Typography::Reading, size);
    const QColor text = Environment::color(this, ColorName::TextPrimary);

    QTextCharFormat base;
    base.setFont(font);
    base.setForeground(text);
    QTextCharFormat marker = base;
    marker.setForeground(QColor(0, 0, 0, 0));
    marker.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    marker.setFontLetterSpacing(kMarkerKern);
    QTextCharFormat cursorFormat = base;
    cursorFormat.setForeground(Environment::color(this, ColorName::Accent));

    QTextBlockFormat baseBlock;
    baseBlock.setLineHeight(lineSpacing(Typography::Reading, size), QTextBlockFormat::LineDistanceHeight);

    const QFontMetricsF metrics(font);
    const qreal tabStop = doc->defaultTextOption().tabStopDistance();
    const int length = doc->characterCount() - 1;
    const bool endsWithCursor = m_styledStreaming && m_current.endsWith(QChar(kStreamingCursor));

    QTextCursor cursor(doc);
    // Only what differs is written, so restyling styled text changes nothing (and adds nothing to
    // the undo history of a user's edit).
    auto applyChar = [&](int start, int end, const QTextCharFormat &format) {
        if (start >= end)
            return;
        QTextBlock block = doc->findBlock(start);
        bool same = true;
        for (; block.isValid() && block.position() < end && same; block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int fStart = fragment.position();
                const int fEnd = fStart + fragment.length();
                if (fEnd <= start || fStart >= end)
                    continue;
                if (fragment.charFormat() != format) {
                    same = false;
                    break;
                }
            }
        }
        if (same)
            return;
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    };

    QTextBlock block = doc->findBlock(std::clamp(from, 0, std::max(0, length)));
    if (!block.isValid())
        block = doc->firstBlock();
    if (joinUserEdit)
        cursor.joinPreviousEditBlock();
    else
        cursor.beginEditBlock();
    for (; block.isValid(); block = block.next()) {
        const QString paragraph = block.text();
        const int start = block.position();
        const int end = start + int(paragraph.size());
        QTextBlockFormat wanted = baseBlock;
        const auto found = bulletMarker(paragraph);
        if (found) {
            const int markerStart = start + found->indent;
            const int markerEnd = markerStart + found->glyphLength;
            applyChar(start, markerStart, base);
            applyChar(markerStart, markerEnd, marker);
            applyChar(markerEnd, end, base);
            qreal indent = 0;
            for (int i = 0; i < found->indent; ++i) {
                if (paragraph[i] == u'\t')
                    indent = (std::floor(indent / tabStop) + 1) * tabStop;
                else
                    indent += metrics.horizontalAdvance(paragraph[i]);
            }
            indent += metrics.horizontalAdvance(paragraph.mid(found->indent, found->glyphLength)) + kMarkerKern;
            indent += metrics.horizontalAdvance(paragraph.mid(found->indent + found->glyphLength, found->gap));
            wanted.setLeftMargin(indent);
            wanted.setTextIndent(-indent);
            wanted.setBottomMargin(m_bulletSpacing);
            wanted.setProperty(kBulletProperty, true);
        } else {
            applyChar(start, end, base);
        }
        if (endsWithCursor && !block.next().isValid() && end > start)
            applyChar(end - 1, end, cursorFormat);
        if (block.blockFormat() != wanted) {
            cursor.setPosition(start);
            cursor.setBlockFormat(wanted);
        }
    }
    cursor.endEditBlock();
    setCurrentCharFormat(base);
}

void ResultTextView::applyMargins() {
    QTextFrame *root = document()->rootFrame();
    QTextFrameFormat format = root->frameFormat();
    const qreal horizontal = horizontalInset();
    const qreal vertical = m_inset.height();
    if (format.leftMargin() == horizontal && format.rightMargin() == horizontal && format.topMargin() == vertical &&
        format.bottomMargin() == vertical)
        return;
    format.setLeftMargin(horizontal);
    format.setRightMargin(horizontal);
    format.setTopMargin(vertical);
    format.setBottomMargin(vertical);
    const bool undo = document()->isUndoRedoEnabled();
    const int steps = document()->availableUndoSteps();
    Guard guard(m_applying);
    root->setFrameFormat(format);
    // A margin change is layout, not an edit: it must not become an undo step of the user's.
    if (undo && document()->availableUndoSteps() != steps) {
        document()->setUndoRedoEnabled(false);
        document()->setUndoRedoEnabled(true);
    }
}

void ResultTextView::contentsChanged(int, int, int) {
    if (m_applying)
        return;
    if (m_streaming || !m_styledOnce)
        return;
    m_current = plainContent();
    if (!composing()) {
        // Bullets follow the edit; the restyle becomes part of the user's own undo step.
        Guard guard(m_applying);
        restyle(0, true);
    }
    emit edited(m_current);
}

void ResultTextView::resizeEvent(QResizeEvent *event) {
    QTextEdit::resizeEvent(event);
    applyMargins();
}

bool ResultTextView::event(QEvent *event) {
    if (Environment::isChange(event)) {
        applyPalette();
        // A new text size or colour scheme restyles everything, the typing cursor kept at the end.
        refresh(resultText(), true);
    }
    if (event->type() == QEvent::PaletteChange)
        viewport()->update();
    return QTextEdit::event(event);
}

void ResultTextView::applyPalette() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, QColor(0, 0, 0, 0));
    palette.setColor(QPalette::Text, Environment::color(this, ColorName::TextPrimary));
    palette.setColor(QPalette::Highlight, Environment::color(this, ColorName::SurfaceSelection));
    palette.setColor(QPalette::HighlightedText, Environment::color(this, ColorName::TextPrimary));
    if (palette != this->palette())
        setPalette(palette);
}

QList<QRectF> ResultTextView::bulletRects() const {
    QList<QRectF> rects;
    const QPointF offset(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    // Only the blocks on screen: from the one at the top edge of the viewport.
    const int top = layout->hitTest(QPointF(0, verticalScrollBar()->value()), Qt::FuzzyHit);
    QTextBlock first = top >= 0 ? document()->findBlock(top) : document()->firstBlock();
    if (first.isValid() && first.previous().isValid())
        first = first.previous();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        if (!block.blockFormat().hasProperty(kBulletProperty))
            continue;
        const QRectF bounds = layout->blockBoundingRect(block).translated(offset);
        if (bounds.bottom() < 0)
            continue;
        if (bounds.top() > viewport()->height())
            break;
        const auto found = bulletMarker(block.text());
        const QTextLayout *text = block.layout();
        if (!found || !text || text->lineCount() == 0)
            continue;
        // The bullet sits on the first line only, centred on the marker's own advance.
        const QTextLine line = text->lineAt(0);
        const qreal x0 = line.cursorToX(found->indent);
        const qreal x1 = line.cursorToX(found->indent + found->glyphLength);
        const QTextCharFormat format = block.begin().atEnd() ? QTextCharFormat() : [&] {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.position() + fragment.length() > block.position() + found->indent)
                    return fragment.charFormat();
            }
            return QTextCharFormat();
        }();
        const qreal pixelSize = format.font().pixelSize() > 0 ? format.font().pixelSize() : 0;
        const qreal d = pixelSize > 0 ? std::round(pixelSize * kBulletFactor) : 5;
        // Qt reports descent as a positive distance below the baseline: the glyph box is
        // ascent + descent high.
        const qreal lineHeight = line.ascent() + line.descent();
        const QPointF origin = text->position() + offset;
        const qreal x = origin.x() + (x0 + x1 - kMarkerKern - d) / 2;
        const qreal y = origin.y() + line.y() + (lineHeight - d) / 2;
        rects.append(QRectF(x, y, d, d));
    }
    return rects;
}

void ResultTextView::paintEvent(QPaintEvent *event) {
    QTextEdit::paintEvent(event);
    const QList<QRectF> bullets = bulletRects();
    if (bullets.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::TextTertiary));
    for (const QRectF &rect : bullets)
        painter.drawEllipse(rect);
}

void ResultTextView::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu(event->pos());
    if (!menu)
        return;
    if (m_sendTo)
        m_sendTo->addItems(menu, this);
    QPointer<QMenu> guard(menu);
    menu->exec(event->globalPos());
    delete guard.data();
}

void ResultTextView::setFocused(bool focused) {
    if (focused == m_focused)
        return;
    m_focused = focused;
    emit focusChanged(focused);
}

void ResultTextView::focusInEvent(QFocusEvent *event) {
    QTextEdit::focusInEvent(event);
    switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason: setFocused(true); return;
    default:
        // The window or a menu handing focus back keeps a focus the user gave; otherwise focus is
        // taken only by a click or a key press, never by code.
        if (m_focused)
            return;
        QTimer::singleShot(0, this, [this] {
            if (!m_focused && hasFocus())
                clearFocus();
        });
        return;
    }
}

void ResultTextView::focusOutEvent(QFocusEvent *event) {
    QTextEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    setFocused(false);
}

} // namespace velmora
