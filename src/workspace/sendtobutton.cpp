#include "workspace/sendtobutton.h"

#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"
#include "ui/typography.h"
#include "workspace/sendtoitems.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>

namespace velmora {

namespace {

// A symbol drawn in the label's text colour.
class Glyph : public QWidget {
public:
    Glyph(QString symbol, std::function<int()> size, QWidget *parent)
        : QWidget(parent), m_symbol(std::move(symbol)), m_size(std::move(size)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        resizeToSymbol();
    }
    void resizeToSymbol() { setFixedSize(m_size() + 2, m_size() + 2); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        Symbols::paint(&painter, rect(), m_symbol, m_size() + 1, Environment::color(this, ColorName::TextPrimary));
    }

private:
    QString m_symbol;
    std::function<int()> m_size;
};

} // namespace

SendToButton::SendToButton(ToolHandoff &handoff, QWidget *parent)
    : QWidget(parent), m_handoff(handoff),
      m_button(
          new Button(QString(), QString(), FillButtonStyle{ColorName::SurfaceContent, 6, ColorName::LineStrong}, this)),
      m_title(new StyledLabel(Typography::Body)) {
    auto *label = new QWidget;
    auto *row = new QHBoxLayout(label);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(4);
    m_icon = new Glyph(
        QStringLiteral("arrowshape.turn.up.right"), [this] { return int(scaled(Environment::textSize(this), 13, 1)); },
        label);
    m_chevron = new Glyph(
        QStringLiteral("chevron.down"), [this] { return chevronPointSize(); }, label);
    m_chevron->setAccessibleName(QString());
    m_title->setKeepsIdealWidth(true);
    row->addWidget(m_icon);
    row->addSpacing(2);
    row->addWidget(m_title);
    row->addWidget(m_chevron);
    m_button->setLabelWidget(label);
    m_button->setFixedHeight(int(scaled(Environment::textSize(this), 28, 4)));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_button, &QAbstractButton::clicked, this, &SendToButton::showMenu);
    retranslate();
    setContent(std::nullopt);
}

void SendToButton::setContent(const std::optional<SendableText> &content) {
    m_content = content;
    m_button->setEnabled(content.has_value());
}

int SendToButton::chevronPointSize() const {
    return int(roundHalfAway(10.0 * bodyPointSize(Environment::textSize(this)) / 13.0));
}

QMenu *SendToButton::createMenu(QWidget *parent) const {
    if (!m_content)
        return nullptr;
    auto *menu = new QMenu(parent);
    SendToItems::addTo(menu, *m_content, m_handoff);
    return menu;
}

void SendToButton::showMenu() {
    QMenu *menu = createMenu(this);
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_button->mapToGlobal(QPoint(0, m_button->height())));
}

void SendToButton::retranslate() {
    const QString title = SendToItems::sendToTitle();
    m_title->setText(title);
    m_button->setText(title);
    m_button->setToolTip(title);
    m_button->setAccessibleName(title);
}

bool SendToButton::event(QEvent *event) {
    if (Environment::isChange(event)) {
        static_cast<Glyph *>(m_icon)->resizeToSymbol();
        static_cast<Glyph *>(m_chevron)->resizeToSymbol();
        m_button->setFixedHeight(int(scaled(Environment::textSize(this), 28, 4)));
        // A header short of room keeps the arrow and the chevron; the title stays the tooltip.
        const bool titled = !Environment::compressesHeaderOptions(this);
        if (m_title->isHidden() == titled) {
            m_title->setVisible(titled);
            m_title->parentWidget()->layout()->invalidate();
            layout()->invalidate();
            m_button->updateGeometry();
            updateGeometry();
        }
    }
    return QWidget::event(event);
}

void SendToButton::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace velmora
