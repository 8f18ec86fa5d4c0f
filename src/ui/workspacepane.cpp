#include "ui/workspacepane.h"

#include "ui/animation.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QVariantAnimation>

#include <cmath>

namespace velmora {

namespace {

constexpr int kHeaderSpacing = 8;
constexpr int kMinimumHeight = 300;

int scaledHeight(const QWidget *widget) {
    return int(scaled(Environment::textSize(widget), 36, 4));
}

QWidget *transparent(QWidget *widget) {
    widget->setAttribute(Qt::WA_TranslucentBackground);
    widget->setAutoFillBackground(false);
    return widget;
}

} // namespace

WorkspacePane::WorkspacePane(QWidget *title, QWidget *content, const QList<QWidget *> &controls, QWidget *parent)
    : QWidget(parent), m_title(title), m_content(content) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_header = transparent(new QWidget(this));
    m_controlsBox = transparent(new QWidget(m_header));
    m_footer = transparent(new QWidget(this));
    auto *footer = new QHBoxLayout(m_footer);
    footer->setContentsMargins(16, 0, 16, 0);
    footer->setSpacing(16);
    if (m_title) {
        m_title->setParent(m_header);
        if (auto *label = qobject_cast<StyledLabel *>(m_title)) {
            label->setTypography(Typography::BodyEmphasis);
            label->setWordWrap(false);
        }
    }
    for (QWidget *control : controls) {
        control->setParent(m_controlsBox);
        m_controls.append(control);
    }
    if (m_content)
        m_content->setParent(this);
    m_ringAnimation = new QVariantAnimation(this);
    connect(m_ringAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_ring = value.toReal();
        update();
    });
    m_levelAnimation = new QVariantAnimation(this);
    connect(m_levelAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_shownLevel = value.toReal();
        update();
    });
    rebuildFooter();
}

void WorkspacePane::setNotes(const QStringList &notes) {
    m_notes = notes;
    rebuildFooter();
}

void WorkspacePane::setCount(const std::optional<QString> &count) {
    // A count that only changes its text (every keystroke of a source) keeps its label.
    const bool relabel = m_count && count && !m_footerLabels.isEmpty();
    m_count = count;
    if (relabel)
        m_footerLabels.first()->setText(*count);
    else
        rebuildFooter();
}

void WorkspacePane::rebuildFooter() {
    auto *layout = static_cast<QHBoxLayout *>(m_footer->layout());
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_footerLabels.clear();
    if (m_count) {
        auto *count = new StyledLabel(*m_count, Typography::Meta, m_footer);
        count->setKeepsIdealWidth(true);
        count->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(count);
        m_footerLabels.append(count);
    }
    for (const QString &note : std::as_const(m_notes)) {
        auto *label = new StyledLabel(note, Typography::Meta, m_footer);
        label->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        layout->addWidget(label);
        m_footerLabels.append(label);
    }
    layout->addStretch(1);
}

void WorkspacePane::setLive(bool live) {
    if (live == m_live)
        return;
    m_live = live;
    m_ringAnimation->setStartValue(m_ring);
    m_ringAnimation->setEndValue(live ? 1.0 : 0.0);
    // A pane not yet on screen starts in its state; changes on screen fade.
    startAnimation(m_ringAnimation, isVisible() ? std::optional(Animation::quick()) : std::nullopt, false, this);
}

void WorkspacePane::setLevel(std::optional<double> level) {
    const bool hadLevel = m_level.has_value();
    m_level = level;
    if (!level) {
        update();
        return;
    }
    const double target = std::clamp(*level, 0.0, 1.0);
    if (!hadLevel) {
        m_shownLevel = target;
        update();
        return;
    }
    m_levelAnimation->setStartValue(m_shownLevel);
    m_levelAnimation->setEndValue(target);
    startReducibleAnimation(m_levelAnimation, Animation::quick(), this);
}

void WorkspacePane::setSwapEdge(std::optional<Qt::Edge> edge) {
    m_swapEdge = edge;
    place();
}

void WorkspacePane::setScrollsBody(bool scrolls) {
    if (scrolls == m_scrollsBody)
        return;
    m_scrollsBody = scrolls;
    if (scrolls) {
        m_scroll = new QScrollArea(this);
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setWidgetResizable(true);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->viewport()->setAutoFillBackground(false);
        m_scroll->setAutoFillBackground(false);
        if (m_content) {
            m_scroll->setWidget(m_content);
            m_content->setAutoFillBackground(false);
        }
        m_scroll->show();
    } else if (m_scroll) {
        if (m_content) {
            m_scroll->takeWidget();
            m_content->setParent(this);
            m_content->show();
        }
        delete m_scroll;
        m_scroll = nullptr;
    }
    place();
}

QRect WorkspacePane::paneRect() const {
    return rect().adjusted(kRingBand, kRingBand, -kRingBand, -kRingBand);
}

int WorkspacePane::headerLeadingInset() const {
    return m_swapEdge == Qt::LeftEdge ? int(scaled(Environment::textSize(this), 32, 4)) : 16;
}

int WorkspacePane::headerTrailingInset() const {
    if (m_swapEdge == Qt::RightEdge)
        return int(scaled(Environment::textSize(this), 32, 4));
    return m_controls.isEmpty() ? 16 : 4;
}

void WorkspacePane::applyHeaderLayout(HeaderLayout layout) {
    for (const QPointer<QWidget> &control : std::as_const(m_controls)) {
        auto *button = qobject_cast<Button *>(control.data());
        if (!button)
            continue;
        if (std::holds_alternative<PaneButtonStyle>(button->buttonStyle()))
            button->setButtonStyle(PaneButtonStyle{layout != HeaderLayout::Full});
    }
    Environment::setShowsKeyHints(m_controlsBox, layout != HeaderLayout::Compact);
    Environment::setCompressesHeaderOptions(m_controlsBox, layout == HeaderLayout::Compact);
}

int WorkspacePane::headerIdealWidth(HeaderLayout layout) const {
    const HeaderLayout saved = m_layout;
    auto *self = const_cast<WorkspacePane *>(this);
    self->applyHeaderLayout(layout);
    int controls = 0;
    int visible = 0;
    for (const QPointer<QWidget> &control : m_controls) {
        if (!control)
            continue;
        controls += layout == HeaderLayout::Compact ? control->minimumSizeHint().width() : control->sizeHint().width();
        ++visible;
    }
    if (visible > 1)
        controls += kHeaderSpacing * (visible - 1);
    self->applyHeaderLayout(saved);
    const int title = m_title ? m_title->sizeHint().width() : 0;
    return headerLeadingInset() + title + (visible ? kHeaderSpacing + controls : 0) + headerTrailingInset();
}

void WorkspacePane::chooseHeaderLayout() {
    const int available = paneRect().width();
    HeaderLayout layout = HeaderLayout::Compact;
    if (headerIdealWidth(HeaderLayout::Full) <= available)
        layout = HeaderLayout::Full;
    else if (headerIdealWidth(HeaderLayout::IconOnly) <= available)
        layout = HeaderLayout::IconOnly;
    m_layout = layout;
    applyHeaderLayout(layout);
}

int WorkspacePane::barHeight() const {
    return scaledHeight(this);
}

void WorkspacePane::place() {
    const QRect pane = paneRect();
    const int bar = barHeight();
    chooseHeaderLayout();

    m_header->setGeometry(pane.left(), pane.top(), pane.width(), bar);
    const int leading = headerLeadingInset();
    const int trailing = headerTrailingInset();
    // Controls, right to left, at their ideal widths (compressible ones down to their minimum).
    QList<int> widths;
    int total = 0;
    for (const QPointer<QWidget> &control : std::as_const(m_controls)) {
        const int w = control ? control->sizeHint().width() : 0;
        widths.append(w);
        total += w;
    }
    if (!m_controls.isEmpty())
        total += kHeaderSpacing * int(m_controls.size() - 1);
    const int titleIdeal = m_title ? m_title->sizeHint().width() : 0;
    const int room = pane.width() - leading - trailing - (m_controls.isEmpty() ? 0 : kHeaderSpacing);
    int excess = total + titleIdeal - room;
    if (excess > 0 && m_layout == HeaderLayout::Compact) {
        for (int i = 0; i < m_controls.size() && excess > 0; ++i) {
            if (!m_controls[i])
                continue;
            const int give = std::min(excess, widths[i] - m_controls[i]->minimumSizeHint().width());
            if (give > 0) {
                widths[i] -= give;
                excess -= give;
                total -= give;
            }
        }
    }
    int x = 0;
    const int boxWidth = std::max(0, total);
    m_controlsBox->setGeometry(pane.width() - trailing - boxWidth, 0, boxWidth, bar);
    for (int i = 0; i < m_controls.size(); ++i) {
        QWidget *control = m_controls[i];
        if (!control)
            continue;
        const int h = std::min(bar, control->sizeHint().height());
        control->setGeometry(x, (bar - h) / 2, widths[i], h);
        x += widths[i] + kHeaderSpacing;
    }
    if (m_title) {
        const int titleRoom = pane.width() - leading - trailing - (boxWidth ? boxWidth + kHeaderSpacing : 0);
        const int titleWidth = std::max(0, std::min(titleIdeal, titleRoom));
        const int h = std::min(bar, m_title->sizeHint().height());
        m_title->setGeometry(leading, (bar - h) / 2, titleWidth, h);
    }

    const int footerTop = pane.bottom() + 1 - bar;
    m_footer->setGeometry(pane.left(), footerTop, pane.width(), bar);
    const QRect body(pane.left(), pane.top() + bar, pane.width(), std::max(0, footerTop - 1 - (pane.top() + bar)));
    if (m_scroll)
        m_scroll->setGeometry(body);
    else if (m_content)
        m_content->setGeometry(body);
    update();
}

qreal WorkspacePane::levelFillWidth() const {
    if (!m_level)
        return 0;
    return paneRect().width() * std::clamp(m_shownLevel, 0.0, 1.0);
}

QSize WorkspacePane::sizeHint() const {
    const int bar = scaledHeight(this);
    const QSize content = m_content ? m_content->sizeHint().expandedTo(QSize(0, 0)) : QSize();
    const int width = std::max(headerIdealWidth(HeaderLayout::Full), content.width());
    const int height = std::max(kMinimumHeight, 2 * bar + 1 + content.height());
    return {width + 2 * kRingBand, height + 2 * kRingBand};
}

QSize WorkspacePane::minimumSizeHint() const {
    return {headerLeadingInset() + headerTrailingInset() + 40 + 2 * kRingBand, kMinimumHeight + 2 * kRingBand};
}

void WorkspacePane::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    place();
}

bool WorkspacePane::event(QEvent *event) {
    const bool result = QWidget::event(event);
    if (Environment::isChange(event) || event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        place();
    }
    return result;
}

void WorkspacePane::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pane = QRectF(paneRect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::SurfaceContent));
    painter.drawRoundedRect(pane, 12, 12);
    painter.setPen(QPen(Environment::color(this, ColorName::LineStrong), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(pane.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
    if (m_ring > 0) {
        painter.setOpacity(m_ring);
        painter.setPen(QPen(Environment::color(this, ColorName::LineFocus), 3));
        painter.drawRoundedRect(pane.adjusted(-1.5, -1.5, 1.5, 1.5), 13.5, 13.5);
        painter.setOpacity(1.0);
    }
    const int bar = barHeight();
    const QColor hairline = Environment::color(this, ColorName::LineHairline);
    painter.setPen(Qt::NoPen);
    const QRectF rule(pane.left() + 1, pane.top() + bar - 1, pane.width() - 2, 1);
    painter.fillRect(rule, hairline);
    const QRectF divider(pane.left() + 1, pane.bottom() - bar, pane.width() - 2, 1);
    painter.fillRect(divider, hairline);
    if (m_level) {
        const qreal fill = levelFillWidth();
        if (fill > 0) {
            QLinearGradient gradient(rule.left(), 0, rule.left() + fill, 0);
            QColor accent = Environment::color(this, ColorName::Accent);
            gradient.setColorAt(0, Environment::color(this, ColorName::AccentFill));
            gradient.setColorAt(0.7, accent);
            accent.setAlpha(0);
            gradient.setColorAt(1, accent);
            painter.fillRect(QRectF(rule.left(), rule.top(), std::min(fill, rule.width()), 2), gradient);
        }
    }
}

SetupBanner::SetupBanner(const QString &message, const QString &link, QWidget *parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_message = new StyledLabel(message, Typography::Body, this);
    m_message->setWordWrap(true);
    m_link = new Button(link, QString(), TextButtonStyle{}, this);
    connect(m_link, &QAbstractButton::clicked, this, &SetupBanner::linkActivated);
}

void SetupBanner::setMessage(const QString &message) {
    m_message->setText(message);
    updateGeometry();
    place();
}

void SetupBanner::setLink(const QString &link) {
    m_link->setText(link);
    updateGeometry();
    place();
}

int SetupBanner::symbolPointSize() const {
    return int(scaled(Environment::textSize(this), 15, 1));
}

int SetupBanner::heightForWidth(int width) const {
    const int symbol = symbolPointSize();
    const QSize link = m_link->sizeHint();
    // symbol, 8, message, 8, at least 12 of space, 8, link, inside 12 on either side
    const int room = width - 12 - symbol - 8 - 28 - link.width() - 12;
    const int messageWidth = std::max(1, std::min(room, int(std::ceil(m_message->idealTextWidth()))));
    const int message = m_message->heightForWidth(messageWidth);
    return std::max({message, link.height(), symbol}) + 8;
}

QSize SetupBanner::sizeHint() const {
    const int width =
        12 + symbolPointSize() + 8 + int(std::ceil(m_message->idealTextWidth())) + 28 + m_link->sizeHint().width() + 12;
    return {width, heightForWidth(width)};
}

QSize SetupBanner::minimumSizeHint() const {
    const int width = 12 + symbolPointSize() + 8 + 80 + 28 + m_link->sizeHint().width() + 12;
    return {width, heightForWidth(width)};
}

void SetupBanner::place() {
    const int symbol = symbolPointSize();
    const QSize link = m_link->sizeHint();
    const int linkX = width() - 12 - link.width();
    m_link->setGeometry(linkX, (height() - link.height()) / 2, link.width(), link.height());
    const int messageX = 12 + symbol + 8;
    const int room = linkX - 28 - messageX;
    const int messageWidth = std::max(1, std::min(room, int(std::ceil(m_message->idealTextWidth()))));
    const int messageHeight = m_message->heightForWidth(messageWidth);
    m_message->setGeometry(messageX, (height() - messageHeight) / 2, messageWidth, messageHeight);
}

void SetupBanner::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    place();
}

bool SetupBanner::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        place();
    }
    return QWidget::event(event);
}

void SetupBanner::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::AttentionSoft));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
    const int symbol = symbolPointSize();
    Symbols::paint(&painter, QRectF(12, 0, symbol, height()), QStringLiteral("exclamationmark.triangle.fill"), symbol,
                   Environment::color(this, ColorName::Attention));
}

} // namespace velmora
