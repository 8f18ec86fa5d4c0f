#include "workspace/sidebargroupheader.h"

#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPainter>

namespace velmora {

namespace {

// The chevron follows the header's hover progress, so it fades with the background.
class Chevron : public QWidget {
public:
    explicit Chevron(SidebarGroupHeader *header) : QWidget(header), m_header(header) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAccessibleName(QString());
        resizeToSymbol();
    }
    void resizeToSymbol() { setFixedSize(m_header->chevronPointSize() + 2, m_header->chevronPointSize() + 2); }

protected:
    void paintEvent(QPaintEvent *) override {
        const qreal opacity = m_header->chevronOpacity();
        if (opacity <= 0)
            return;
        QPainter painter(this);
        painter.setOpacity(opacity);
        Symbols::paint(&painter, rect(), m_header->chevronSymbol(), m_header->chevronPointSize() + 1,
                       Environment::color(this, ColorName::TextTertiary));
    }

private:
    SidebarGroupHeader *m_header;
};

} // namespace

SidebarGroupHeader::SidebarGroupHeader(const QString &title, bool collapsed, QWidget *parent)
    : SidebarButton(parent), m_title(new StyledLabel(title, Typography::BodyEmphasis, this)), m_chevron(nullptr),
      m_collapsed(collapsed) {
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_chevron = new Chevron(this);
    contentLayout()->addWidget(m_title, 1);
    contentLayout()->addWidget(m_chevron);
    updateAccessibility();
}

QString SidebarGroupHeader::title() const {
    return m_title->text();
}

void SidebarGroupHeader::setTitle(const QString &title) {
    m_title->setText(title);
    updateAccessibility();
}

void SidebarGroupHeader::setCollapsed(bool collapsed) {
    if (m_collapsed == collapsed)
        return;
    m_collapsed = collapsed;
    m_chevron->update();
    updateAccessibility();
}

QString SidebarGroupHeader::chevronSymbol() const {
    return m_collapsed ? QStringLiteral("chevron.right") : QStringLiteral("chevron.down");
}

qreal SidebarGroupHeader::chevronOpacity() const {
    return hoverProgress();
}

int SidebarGroupHeader::chevronPointSize() const {
    return int(scaled(Environment::textSize(this), 10, 1));
}

void SidebarGroupHeader::textSizeChanged() {
    static_cast<Chevron *>(m_chevron)->resizeToSymbol();
}

void SidebarGroupHeader::updateAccessibility() {
    setAccessibleName(m_title->text());
    setAccessibleDescription(
        m_collapsed ? QCoreApplication::translate("Workspace", "Collapsed", "VoiceOver state of a sidebar group")
                    : QCoreApplication::translate("Workspace", "Expanded", "VoiceOver state of a sidebar group"));
}

void SidebarGroupHeader::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        updateAccessibility();
    SidebarButton::changeEvent(event);
}

} // namespace velmora
