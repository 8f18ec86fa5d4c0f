#include "dictation/dictationpill.h"

#include "dictation/dictationprogresstext.h"
#include "dictation/dictationwaveform.h"
#include "ui/animation.h"
#include "ui/environment.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace velmora {

namespace {
constexpr int kTextInset = 20;
constexpr int kShadowBlur = 10;
constexpr int kShadowOffset = 3;
constexpr double kShadowOpacity = 0.18;
} // namespace

DictationPill::DictationPill(DictationOverlayContent content, std::function<double()> level, OverlayClock &clock,
                             QWidget *parent)
    : QWidget(parent), m_content(std::move(content)), m_level(std::move(level)), m_clock(clock),
      m_appear(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_appear->setStartValue(0.0);
    m_appear->setEndValue(1.0);
    connect(m_appear, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        if (!m_child)
            return;
        auto *effect = qobject_cast<QGraphicsOpacityEffect *>(m_child->graphicsEffect());
        if (value.toDouble() >= 1.0) {
            m_child->setGraphicsEffect(nullptr);
        } else if (effect) {
            effect->setOpacity(value.toDouble());
        }
    });
    build();
}

DictationPill::~DictationPill() = default;

void DictationPill::setContent(const DictationOverlayContent &content) {
    if (content == m_content)
        return;
    const DictationOverlayContent before = m_content;
    m_content = content;
    if (before.kind == content.kind && content.kind == DictationOverlayContent::Kind::Listening) {
        // The waveform keeps its identity, and so its samples.
        m_waveform->setLive(content.live);
    } else if (before.kind == content.kind) {
        m_line->setText(content.text);
        updateGeometry();
        placeChild();
    } else {
        build();
    }
    emit contentChanged();
}

void DictationPill::build() {
    delete m_child;
    m_waveform = nullptr;
    m_line = nullptr;
    if (m_content.kind == DictationOverlayContent::Kind::Listening) {
        m_waveform = new DictationWaveform(m_level, m_content.live, m_clock, this);
        m_child = m_waveform;
    } else {
        const bool failure = m_content.kind == DictationOverlayContent::Kind::Failure;
        m_line = new DictationProgressText(m_content.text, failure ? ColorName::TextPrimary : ColorName::TextSecondary,
                                           m_clock, this);
        m_line->setAnimates(!failure);
        m_child = m_line;
    }
    updateGeometry();
    placeChild();
    m_child->show();
    // Fades in, unless this is the pill's first content or motion is reduced.
    if (isVisible()) {
        auto *effect = new QGraphicsOpacityEffect(m_child);
        effect->setOpacity(0.0);
        m_child->setGraphicsEffect(effect);
        startReducibleAnimation(m_appear, Animation::standard(), this);
    }
}

QSize DictationPill::sizeHint() const {
    int width = kMinimumWidth;
    if (m_waveform)
        width = std::max(width, m_waveform->sizeHint().width());
    else if (m_line)
        width = std::max(width, m_line->sizeHint().width() + 2 * kTextInset);
    return {width, kHeight};
}

void DictationPill::placeChild() {
    if (!m_child)
        return;
    const QSize size = m_child->sizeHint();
    m_child->setGeometry((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
}

void DictationPill::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeChild();
}

void DictationPill::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (Environment::isChange(event)) {
        updateGeometry();
        placeChild();
    }
}

void DictationPill::setIncreasedContrast(bool increased) {
    m_increasedContrast = increased;
    update();
}

void DictationPill::setShadowless(bool shadowless) {
    m_shadowless = shadowless;
    update();
}

void DictationPill::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect());
    const double radius = capsule.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::SurfaceContent));
    painter.drawRoundedRect(capsule, radius, radius);
    QColor border = Environment::color(this, ColorName::TextPrimary);
    border.setAlphaF(m_increasedContrast ? 0.55f : (m_shadowless ? 0.3f : 0.08f));
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}

DictationPanelRoot::DictationPanelRoot(DictationPill *pill, QWidget *parent) : QWidget(parent), m_pill(pill) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // The pill keeps the standard size whatever the user's text size.
    Environment::setTextSize(this, TextSize::Standard);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, kBottomInset);
    layout->addStretch(1);
    layout->addWidget(pill, 0, Qt::AlignHCenter | Qt::AlignBottom);
    pill->installEventFilter(this);
}

QRect DictationPanelRoot::pillRect() const {
    return m_pill->geometry();
}

bool DictationPanelRoot::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_pill && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        update();
        emit pillMoved();
    }
    return QWidget::eventFilter(watched, event);
}

void DictationPanelRoot::paintEvent(QPaintEvent *) {
    if (m_pill->isShadowless())
        return;
    // A soft shadow under the capsule: stacked rings of faint black approximate the blur.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF capsule = QRectF(m_pill->geometry()).translated(0, kShadowOffset);
    const double layerAlpha = 1.0 - std::pow(1.0 - kShadowOpacity, 1.0 / kShadowBlur);
    for (int ring = kShadowBlur; ring >= 1; --ring) {
        const double grow = ring - kShadowBlur / 2.0;
        const QRectF r = capsule.adjusted(-grow, -grow, grow, grow);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, static_cast<float>(layerAlpha)));
        painter.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    }
}

} // namespace velmora
