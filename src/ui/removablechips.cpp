#include "ui/removablechips.h"

#include "ui/animation.h"
#include "ui/environment.h"
#include "ui/flowlayout.h"
#include "ui/hoverfade.h"
#include "ui/hovertip.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace velmora {

namespace {

constexpr qreal kSpacing = 6;

// The chip's x: a glyph that turns onto a filled circle while hovered.
class RemoveButton : public QAbstractButton {
public:
    explicit RemoveButton(QWidget *parent) : QAbstractButton(parent), m_hover(new HoverFade(this)) {
        setAttribute(Qt::WA_Hover);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::ArrowCursor);
    }

    void setLabel(const QString &label) {
        setAccessibleName(label);
        HoverTip::install(this, label);
    }

    QSize sizeHint() const override {
        const int side = int(scaled(Environment::textSize(this), 14, 1));
        return {side, side};
    }

protected:
    bool hitButton(const QPoint &pos) const override {
        const QPointF c = QRectF(rect()).center();
        const qreal r = width() / 2.0;
        return std::hypot(pos.x() + 0.5 - c.x(), pos.y() + 0.5 - c.y()) <= r;
    }
    bool event(QEvent *event) override {
        if (Environment::isChange(event))
            updateGeometry();
        return QAbstractButton::event(event);
    }
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor tertiary = Environment::color(this, ColorName::TextTertiary);
        QColor circle = tertiary;
        const qreal hover = m_hover->progress();
        circle.setAlphaF(float(tertiary.alphaF() * hover));
        painter.setPen(Qt::NoPen);
        painter.setBrush(circle);
        painter.drawEllipse(QRectF(rect()));
        const QColor on = Environment::color(this, ColorName::TextOnAccent);
        const QColor glyph = hover >= 0.5 ? on : tertiary;
        const int box = int(scaled(Environment::textSize(this), 7, 1)) + 1;
        Symbols::paint(&painter, QRectF(rect()), QStringLiteral("xmark"), box, glyph);
    }

private:
    HoverFade *m_hover;
};

class Chip : public QWidget {
public:
    Chip(const QVariant &item, QWidget *parent) : QWidget(parent), m_item(item) {
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(10, 0, 6, 0);
        row->setSpacing(4);
        m_title = new StyledLabel(Typography::Body, this);
        row->addWidget(m_title, 1, Qt::AlignVCenter);
        m_remove = new RemoveButton(this);
        row->addWidget(m_remove, 0, Qt::AlignVCenter);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QVariant item() const { return m_item; }
    StyledLabel *title() const { return m_title; }
    RemoveButton *remove() const { return m_remove; }

    QSize sizeHint() const override {
        const int height = RemovableChips::chipHeight(position(Environment::textSize(this)));
        return {10 + int(std::ceil(m_title->idealTextWidth())) + 4 + m_remove->sizeHint().width() + 6, height};
    }

protected:
    bool event(QEvent *event) override {
        if (Environment::isChange(event))
            updateGeometry();
        return QWidget::event(event);
    }
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Environment::color(this, ColorName::SurfaceChip));
        const qreal radius = height() / 2.0;
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }

private:
    QVariant m_item;
    StyledLabel *m_title;
    RemoveButton *m_remove;
};

} // namespace

RemovableChips::RemovableChips(std::function<QString(const QVariant &)> title,
                               std::function<QString(const QVariant &)> removeLabel, QWidget *parent)
    : QWidget(parent), m_title(std::move(title)), m_removeLabel(std::move(removeLabel)),
      m_animation(new QVariantAnimation(this)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const qreal t = value.toReal();
        for (int i = 0; i < m_chips.size() && i < m_to.size(); ++i) {
            const QRect from = m_from.value(i, m_to[i]);
            const QRect &to = m_to[i];
            m_chips[i]->setGeometry(QRect(QPoint(int(std::lround(from.x() + (to.x() - from.x()) * t)),
                                                 int(std::lround(from.y() + (to.y() - from.y()) * t))),
                                          to.size()));
        }
    });
}

int RemovableChips::chipHeight(int textSizePosition) {
    return int(scaled(allTextSizes()[size_t(std::clamp(textSizePosition, 0, 3))], 22, 4));
}

void RemovableChips::setItems(const QVariantList &items) {
    // Chips keep their identity by value, so a chip that stays moves rather than being rebuilt.
    QList<QWidget *> chips;
    QList<QRect> from;
    for (const QVariant &item : items) {
        // A value listed twice gets a chip of its own each time, never the same chip twice.
        QWidget *existing = nullptr;
        for (QWidget *candidate : std::as_const(m_chips)) {
            if (static_cast<Chip *>(candidate)->item() == item && !chips.contains(candidate)) {
                existing = candidate;
                break;
            }
        }
        if (existing) {
            chips.append(existing);
            from.append(existing->geometry());
            continue;
        }
        auto *chip = new Chip(item, this);
        connect(chip->remove(), &QAbstractButton::clicked, this, [this, item] { emit removeRequested(item); });
        chips.append(chip);
        from.append(QRect());
    }
    for (QWidget *old : std::as_const(m_chips)) {
        if (!chips.contains(old))
            old->deleteLater();
    }
    m_items = items;
    m_chips = chips;
    for (QWidget *widget : std::as_const(m_chips)) {
        auto *chip = static_cast<Chip *>(widget);
        chip->title()->setText(m_title ? m_title(chip->item()) : chip->item().toString());
        chip->remove()->setLabel(m_removeLabel ? m_removeLabel(chip->item()) : QString());
    }
    m_from = from;
    updateGeometry();
    relayout(true);
    for (QWidget *chip : std::as_const(m_chips))
        chip->show();
}

QWidget *RemovableChips::chip(const QVariant &item) const {
    for (QWidget *chip : m_chips) {
        if (static_cast<Chip *>(chip)->item() == item)
            return chip;
    }
    return nullptr;
}

QWidget *RemovableChips::removeButton(const QVariant &item) const {
    auto *found = static_cast<Chip *>(chip(item));
    return found ? found->remove() : nullptr;
}

QList<QRectF> RemovableChips::frames(qreal width) const {
    QList<QSizeF> sizes;
    for (QWidget *chip : m_chips)
        sizes.append(QSizeF(chip->sizeHint()));
    return FlowLayout::arrange(sizes, kSpacing, width);
}

QSize RemovableChips::sizeHint() const {
    const QSizeF size = FlowLayout::extent(frames(std::numeric_limits<qreal>::infinity()));
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

QSize RemovableChips::minimumSizeHint() const {
    QSize widest;
    for (QWidget *chip : m_chips)
        widest = widest.expandedTo(chip->sizeHint());
    return {std::min(widest.width(), 120), widest.height()};
}

int RemovableChips::heightForWidth(int width) const {
    return int(std::ceil(FlowLayout::extent(frames(width)).height()));
}

void RemovableChips::relayout(bool animate) {
    const QList<QRectF> target = frames(width());
    m_to.clear();
    for (const QRectF &frame : target)
        m_to.append(frame.toAlignedRect());
    for (int i = 0; i < m_from.size() && i < m_to.size(); ++i) {
        if (m_from[i].isNull())
            m_from[i] = m_to[i]; // a new chip appears in place
    }
    if (!animate || m_from.size() != m_to.size()) {
        for (int i = 0; i < m_chips.size() && i < m_to.size(); ++i)
            m_chips[i]->setGeometry(m_to[i]);
        return;
    }
    startReducibleAnimation(m_animation, Animation::standard(), this);
}

void RemovableChips::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_from.clear();
    relayout(false);
}

bool RemovableChips::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        m_from.clear();
        relayout(false);
    }
    if (event->type() == QEvent::LanguageChange)
        setItems(m_items);
    return QWidget::event(event);
}

} // namespace velmora
