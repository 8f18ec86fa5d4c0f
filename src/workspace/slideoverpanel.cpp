#include "workspace/slideoverpanel.h"

#include "ui/animation.h"
#include "ui/environment.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QVariantAnimation>

#include <cmath>

namespace velmora {

SlideOverPanel::SlideOverPanel(QWidget *content, int width, QWidget *parent)
    : QWidget(parent), m_content(content), m_width(width), m_animation(new QVariantAnimation(this)) {
    m_content->setParent(this);
    m_content->setAccessibleDescription(QString());
    setAccessibleName(QString());
    hide();
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setProgress(value.toReal()); });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        if (!m_presented)
            hide();
    });
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_presented)
            emit dismissRequested();
    });
    if (parent) {
        m_watchedParent = parent;
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
}

void SlideOverPanel::setPresented(bool presented) {
    if (m_presented == presented)
        return;
    m_presented = presented;
    if (presented) {
        if (parentWidget())
            setGeometry(parentWidget()->rect());
        show();
        raise();
    }
    m_animation->stop();
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(presented ? 1.0 : 0.0);
    startReducibleAnimation(m_animation, Animation::standard(), this);
}

QRect SlideOverPanel::panelGeometry() const {
    const int full = m_width + 1;
    const int x = int(std::lround((m_progress - 1.0) * full));
    return {x, 0, full, height()};
}

void SlideOverPanel::setProgress(qreal progress) {
    m_progress = progress;
    place();
    update();
}

void SlideOverPanel::place() {
    const QRect frame = panelGeometry();
    m_content->setGeometry(frame.x(), 0, m_width, height());
}

void SlideOverPanel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QColor scrim = Environment::color(this, ColorName::Scrim);
    scrim.setAlphaF(scrim.alphaF() * m_progress);
    painter.fillRect(rect(), scrim);
    const QRect frame = panelGeometry();
    painter.fillRect(QRect(frame.x() + m_width, 0, 1, height()), Environment::color(this, ColorName::LineHairline));
}

void SlideOverPanel::mousePressEvent(QMouseEvent *event) {
    // The panel's content takes its own clicks; what reaches here is the scrim.
    if (m_presented && !panelGeometry().contains(event->position().toPoint()))
        emit dismissRequested();
    event->accept();
}

void SlideOverPanel::resizeEvent(QResizeEvent *event) {
    place();
    QWidget::resizeEvent(event);
}

bool SlideOverPanel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_watchedParent && event->type() == QEvent::Resize)
        setGeometry(m_watchedParent->rect());
    return QWidget::eventFilter(watched, event);
}

bool SlideOverPanel::event(QEvent *event) {
    if (Environment::isChange(event))
        update();
    return QWidget::event(event);
}

} // namespace velmora
