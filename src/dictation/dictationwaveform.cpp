#include "dictation/dictationwaveform.h"

#include "dictation/overlayclock.h"
#include "ui/environment.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmora {

namespace {
constexpr std::chrono::milliseconds kFrame{17};
constexpr double kPitch = 5;
constexpr double kBarWidth = 3;
constexpr double kFadeWidth = 16;
} // namespace

DictationWaveform::DictationWaveform(std::function<double()> level, bool live, OverlayClock &clock, QWidget *parent)
    : QWidget(parent), m_level(std::move(level)), m_live(live), m_clock(clock) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(sizeHint());
    setAccessibleName(QCoreApplication::translate("Dictation", "Input level", "Accessibility label of the waveform"));
}

DictationWaveform::~DictationWaveform() = default;

QSize DictationWaveform::sizeHint() const {
    return {kCanvasWidth + 2 * kInset, kHeight};
}

void DictationWaveform::setLive(bool live) {
    if (live == m_live)
        return;
    m_live = live;
    m_frame.reset();
    update();
    if (m_live && isVisible())
        scheduleFrame();
}

void DictationWaveform::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_live)
        scheduleFrame();
}

void DictationWaveform::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_frame.reset();
}

void DictationWaveform::scheduleFrame() {
    m_frame = m_clock.after(kFrame, [this] {
        update();
        scheduleFrame();
    });
}

void DictationWaveform::paintEvent(QPaintEvent *) {
    const double now = m_clock.now();
    const double target = m_live ? LevelHistory::target(m_level()) : 0.0;
    const double progress = m_history.step(now, target);
    m_offset = Environment::reduceMotion(this) ? 0.0 : progress * kPitch;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.translate(kInset, 0);
    QColor accent = Environment::color(this, ColorName::Accent);
    const double opacity = m_live ? 1.0 : 0.4;
    const auto &values = m_history.values();
    for (int i = 0; i < LevelHistory::kCount; ++i) {
        const double x = kPitch * i - m_offset;
        const double g = (x + kBarWidth / 2) / kCanvasWidth;
        const double envelope = g >= 0 ? std::pow(std::sin(std::min(g, 1.0) * std::numbers::pi), 0.6) : 0.0;
        const double h = values[static_cast<size_t>(i)] * 17 * envelope + 3;
        // Both ends of the strip fade out over 16 points.
        const double centre = x + kBarWidth / 2;
        const double fade = std::clamp(std::min(centre, kCanvasWidth - centre) / kFadeWidth, 0.0, 1.0);
        if (fade <= 0)
            continue;
        accent.setAlphaF(static_cast<float>(fade * opacity));
        painter.setBrush(accent);
        painter.drawRoundedRect(QRectF(x, (kHeight - h) / 2, kBarWidth, h), 1.5, 1.5);
    }
    emit framed(target);
}

} // namespace velmora
