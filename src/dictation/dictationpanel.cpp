#include "dictation/dictationpanel.h"

#include "dictation/dictationpill.h"
#include "platform/floatingwindows.h"
#include "ui/environment.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QPainter>

namespace velmora {

DictationPanel::DictationPanel(FloatingWindows &windows, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint),
      m_windows(windows) {
    setObjectName(QStringLiteral("dictationOverlay"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kSize);
    setAccessibleName(QCoreApplication::translate("Workspace", "Dictation", "Tool name"));
    // The window manager reads the hints when it first maps the window.
    m_windows.keepAboveEverywhere(winId());
}

DictationPanel::~DictationPanel() = default;

void DictationPanel::setContent(DictationPanelRoot *content) {
    delete m_content;
    m_content = content;
    if (!content) {
        clearMask();
        return;
    }
    content->setParent(this);
    content->setGeometry(rect());
    if (m_alpha < 1) {
        auto *effect = new QGraphicsOpacityEffect(content);
        effect->setOpacity(m_alpha);
        content->setGraphicsEffect(effect);
    }
    connect(content, &DictationPanelRoot::pillMoved, this, &DictationPanel::updateShape);
    content->show();
    updateShape();
}

void DictationPanel::setAlpha(double alpha) {
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    if (!m_content)
        return;
    if (m_alpha >= 1) {
        m_content->setGraphicsEffect(nullptr);
        return;
    }
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(m_content->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(m_content);
        m_content->setGraphicsEffect(effect);
    }
    effect->setOpacity(m_alpha);
}

void DictationPanel::orderFront() {
    updateShape();
    show();
    // Asked again once mapped, for a window manager that only takes requests then.
    m_windows.keepAboveEverywhere(winId());
}

void DictationPanel::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(rect());
}

void DictationPanel::paintEvent(QPaintEvent *) {
    // A shaped window shows no shadow, and the pill's soft edge would blend into black: the
    // capsule's own colour lies under it instead.
    if (!isShaped())
        return;
    QPainter painter(this);
    painter.fillRect(rect(), Environment::color(this, ColorName::SurfaceContent));
}

void DictationPanel::updateShape() {
    const bool shaped = m_content && !m_windows.isCompositing();
    if (m_content)
        m_content->pill()->setShadowless(shaped);
    if (!shaped) {
        clearMask();
        return;
    }
    m_content->layout()->activate();
    const QRect pill = m_content->pillRect();
    const int radius = pill.height() / 2;
    QRegion shape(pill.adjusted(radius, 0, -radius, 0));
    shape += QRegion(QRect(pill.left(), pill.top(), 2 * radius, pill.height()), QRegion::Ellipse);
    shape += QRegion(QRect(pill.right() + 1 - 2 * radius, pill.top(), 2 * radius, pill.height()), QRegion::Ellipse);
    setMask(shape);
}

} // namespace velmora
