#include "ui/searchfield.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/typography.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>

namespace velmora {

namespace {

constexpr int kPadding = 10;
constexpr int kSpacing = 8;

// QLineEdit centres its placeholder by the height of the line, which a fallback font (Japanese)
// makes taller, while typed text keeps the font's own baseline: the placeholder would sit lower
// than the same words typed. This one paints the placeholder itself, on the typed text's baseline.
class PlaceholderLineEdit : public QLineEdit {
public:
    explicit PlaceholderLineEdit(QWidget *parent) : QLineEdit(parent) {}

    void setPlaceholderColor(const QColor &color) {
        m_placeholderColor = color;
        QPalette p = palette();
        p.setColor(QPalette::PlaceholderText, Qt::transparent); // the accessible name stays; Qt's paint hides
        setPalette(p);
    }

protected:
    void paintEvent(QPaintEvent *event) override {
        QLineEdit::paintEvent(event);
        if (!text().isEmpty() || m_composing || placeholderText().isEmpty())
            return;
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect contents =
            style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
        const QFontMetrics metrics = fontMetrics();
        // Where QLineEdit puts the line of the same words typed: its 2 px side margin, centred by
        // the taller of the font's height and the words' bounds (a fallback font's are taller).
        const QString shown = metrics.elidedText(placeholderText(), Qt::ElideRight, contents.width() - 4);
        const int height = std::max(metrics.boundingRect(shown).height(), metrics.height());
        const QRect line(contents.x() + 2, contents.y() + (contents.height() - height + 1) / 2, contents.width() - 4,
                         height);
        QPainter painter(this);
        painter.setPen(m_placeholderColor);
        QTextOption textOption(Qt::AlignLeft);
        textOption.setWrapMode(QTextOption::NoWrap);
        textOption.setTextDirection(layoutDirection());
        QTextLayout layout(shown, font());
        layout.setTextOption(textOption);
        layout.beginLayout();
        QTextLine textLine = layout.createLine();
        if (textLine.isValid())
            textLine.setLineWidth(line.width());
        layout.endLayout();
        if (!textLine.isValid())
            return;
        layout.draw(&painter, QPointF(line.x(), line.y() + metrics.ascent() - textLine.ascent()));
    }
    void inputMethodEvent(QInputMethodEvent *event) override {
        // Qt hides its placeholder while a composition is under way; so does this one.
        m_composing = !event->preeditString().isEmpty();
        QLineEdit::inputMethodEvent(event);
    }

private:
    QColor m_placeholderColor;
    bool m_composing = false;
};

} // namespace

SearchField::SearchField(const QString &placeholder, QWidget *accessory, QWidget *parent)
    : QWidget(parent), m_edit(new PlaceholderLineEdit(this)), m_accessory(accessory) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusProxy(m_edit);
    setCursor(Qt::IBeamCursor);
    m_edit->setFrame(false);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_edit->setPlaceholderText(placeholder);
    m_edit->installEventFilter(this);
    if (m_accessory)
        m_accessory->setParent(this);
    connect(m_edit, &QLineEdit::textChanged, this, &SearchField::textChanged);
    connect(m_edit, &QLineEdit::returnPressed, this, &SearchField::submitted);
    restyle();
}

QString SearchField::text() const {
    return m_edit->text();
}

void SearchField::setText(const QString &text) {
    m_edit->setText(text);
}

void SearchField::setPlaceholder(const QString &placeholder) {
    m_edit->setPlaceholderText(placeholder);
}

void SearchField::setFocused(bool focused) {
    if (focused)
        m_edit->setFocus(Qt::OtherFocusReason);
    else if (m_edit->hasFocus())
        m_edit->clearFocus();
}

int SearchField::boxHeight() const {
    return int(scaled(Environment::textSize(this), 28, 4));
}

QRect SearchField::boxRect() const {
    return rect().adjusted(kRingBand, kRingBand, -kRingBand, -kRingBand);
}

QSize SearchField::sizeHint() const {
    const int accessory = m_accessory ? m_accessory->sizeHint().width() + kSpacing : 0;
    return {240 + accessory + 2 * kRingBand, boxHeight() + 2 * kRingBand};
}

QSize SearchField::minimumSizeHint() const {
    const int symbol = bodyPointSize(Environment::textSize(this));
    const int accessory = m_accessory ? m_accessory->sizeHint().width() + kSpacing : 0;
    return {2 * kPadding + symbol + kSpacing + 60 + accessory + 2 * kRingBand, boxHeight() + 2 * kRingBand};
}

void SearchField::restyle() {
    const TextSize size = Environment::textSize(this);
    m_edit->setFont(fontFor(Typography::Body, size));
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, QColor(0, 0, 0, 0));
    palette.setColor(QPalette::Text, Environment::color(this, ColorName::TextPrimary));
    palette.setColor(QPalette::Highlight, Environment::color(this, ColorName::SurfaceSelection));
    palette.setColor(QPalette::HighlightedText, Environment::color(this, ColorName::TextPrimary));
    m_edit->setPalette(palette);
    static_cast<PlaceholderLineEdit *>(m_edit)->setPlaceholderColor(Environment::color(this, ColorName::TextTertiary));
    updateGeometry();
    place();
    update();
}

void SearchField::place() {
    const QRect box = boxRect();
    const int symbol = bodyPointSize(Environment::textSize(this));
    int left = box.left() + kPadding + symbol + kSpacing;
    int right = box.right() + 1 - kPadding;
    if (m_accessory) {
        const QSize size = m_accessory->sizeHint();
        m_accessory->setGeometry(right - size.width(), box.center().y() - size.height() / 2 + 1, size.width(),
                                 size.height());
        right -= size.width() + kSpacing;
    }
    const int editHeight = std::min(box.height(), m_edit->sizeHint().height());
    m_edit->setGeometry(left, box.center().y() - editHeight / 2 + 1, std::max(0, right - left), editHeight);
}

void SearchField::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    place();
}

bool SearchField::event(QEvent *event) {
    if (Environment::isChange(event))
        restyle();
    return QWidget::event(event);
}

bool SearchField::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_edit) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            const bool focused = event->type() == QEvent::FocusIn;
            if (focused != m_focused) {
                m_focused = focused;
                update();
                emit focusedChanged(focused);
            }
        } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            emit exitRequested();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SearchField::mousePressEvent(QMouseEvent *event) {
    // The whole box is the hit area: the magnifier and the padding focus the field too.
    if (boxRect().contains(event->position().toPoint()))
        m_edit->setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

void SearchField::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(boxRect());
    const ColorScheme scheme = Environment::colorScheme(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(
        NamedColors::color(scheme == ColorScheme::Dark ? ColorName::SurfaceSunken : ColorName::SurfaceContent, scheme));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(QPen(NamedColors::color(ColorName::LineStrong, scheme), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    if (m_focused) {
        // The ring covers the 3 px just outside the box.
        painter.setPen(QPen(NamedColors::color(ColorName::LineFocus, scheme), 3));
        painter.drawRoundedRect(box.adjusted(-1.5, -1.5, 1.5, 1.5), 7.5, 7.5);
    }
    const int symbol = bodyPointSize(Environment::textSize(this));
    Symbols::paint(&painter, QRectF(box.left() + kPadding, box.top(), symbol, box.height()),
                   QStringLiteral("magnifyingglass"), symbol, NamedColors::color(ColorName::TextTertiary, scheme));
}

} // namespace velmora
