#include "ui/hovertip.h"

#include "ui/environment.h"
#include "ui/styledlabel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace velmora {

namespace {

constexpr int kArrow = 6;

// The tip's popover: a panel with an arrow on its top edge pointing at the widget.
class TipWindow : public QWidget {
public:
    TipWindow(QWidget *target, const QString &text) : QWidget(target, Qt::ToolTip | Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(HoverTip::kPadding, HoverTip::kPadding + kArrow, HoverTip::kPadding,
                                   HoverTip::kPadding);
        m_label = new StyledLabel(text, Typography::Body, this);
        m_label->setWordWrap(true);
        layout->addWidget(m_label);
        const int natural = int(std::ceil(m_label->idealTextWidth()));
        const int width = std::min(natural, HoverTip::kMaxTextWidth);
        m_label->setFixedWidth(std::max(1, width));
        m_label->setFixedHeight(m_label->heightForWidth(width));
        adjustSize();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF body = QRectF(rect()).adjusted(0.5, kArrow + 0.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(body, 8, 8);
        QPainterPath arrow;
        const qreal cx = std::clamp<qreal>(m_arrowX, 12 + kArrow, width() - 12 - kArrow);
        arrow.moveTo(cx - kArrow, body.top() + 1);
        arrow.lineTo(cx, 0.5);
        arrow.lineTo(cx + kArrow, body.top() + 1);
        arrow.closeSubpath();
        path = path.united(arrow);
        painter.setPen(QPen(Environment::color(this, ColorName::LineStrong), 1));
        painter.setBrush(Environment::color(this, ColorName::SurfacePanel));
        painter.drawPath(path);
    }

public:
    // Where the arrow points, in the window's own coordinates.
    void setArrowX(qreal x) {
        m_arrowX = x;
        update();
    }

private:
    StyledLabel *m_label;
    qreal m_arrowX = 0;
};

} // namespace

HoverTip::HoverTip(QWidget *target, const QString &text) : QObject(target), m_target(target), m_text(text) {
    setObjectName(QStringLiteral("velmoraHoverTip"));
    m_delay.setSingleShot(true);
    // A coarse timer may show the tip up to 5% early.
    m_delay.setTimerType(Qt::PreciseTimer);
    m_delay.setInterval(kDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &HoverTip::show);
    target->installEventFilter(this);
    target->setAttribute(Qt::WA_Hover);
}

HoverTip *HoverTip::install(QWidget *target, const QString &text) {
    if (HoverTip *existing = of(target)) {
        existing->setText(text);
        return existing;
    }
    return new HoverTip(target, text);
}

HoverTip *HoverTip::of(const QWidget *target) {
    return target ? target->findChild<HoverTip *>(QStringLiteral("velmoraHoverTip"), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void HoverTip::setText(const QString &text) {
    m_text = text;
}

bool HoverTip::isShown() const {
    return m_window && m_window->isVisible();
}

void HoverTip::show() {
    if (!m_target || !m_target->isVisible() || m_text.isEmpty())
        return;
    if (m_window)
        m_window->close();
    auto *window = new TipWindow(m_target, m_text);
    const QPoint below = m_target->mapToGlobal(QPoint(m_target->width() / 2, m_target->height()));
    QPoint topLeft(below.x() - window->width() / 2, below.y() + 2);
    if (const QScreen *screen = m_target->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - window->width())));
    }
    window->move(topLeft);
    window->setArrowX(below.x() - topLeft.x());
    window->show();
    m_window = window;
}

void HoverTip::dismiss() {
    m_delay.stop();
    if (m_window)
        m_window->close();
}

bool HoverTip::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::Enter:
            // Entering again restarts the wait.
            if (m_window)
                m_window->close();
            m_delay.start();
            break;
        case QEvent::Leave:
        case QEvent::Hide:
        case QEvent::MouseButtonPress: dismiss(); break;
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace velmora
