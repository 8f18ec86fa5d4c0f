#include "ui/toolpageheader.h"

#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/toolicon.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

namespace velmora {

namespace {

// A 1 px rule in the hairline colour; nothing for screen readers.
class Rule : public QWidget {
public:
    explicit Rule(QWidget *parent) : QWidget(parent) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    bool event(QEvent *event) override {
        if (Environment::isChange(event))
            update();
        return QWidget::event(event);
    }
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(rect(), Environment::color(this, ColorName::LineHairline));
    }
};

} // namespace

ToolPageHeader::ToolPageHeader(const QString &symbol, std::function<QString()> name, const QString &description,
                               QWidget *parent)
    : QWidget(parent), m_nameText(std::move(name)) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    m_icon = new ToolIcon(symbol, ColorName::Accent, ToolIcon::Size::Header, this);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);

    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    auto *titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    m_name = new StyledLabel(Typography::Title, this);
    m_name->setHeading(true);
    m_name->setKeepsIdealWidth(false);
    m_name->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    titleLine->addWidget(m_name);
    m_more = new Button(QString(), QStringLiteral("ellipsis"), IconButtonStyle{}, this);
    m_more->setSymbolSize(18);
    m_menu = new QMenu(this);
    connect(m_more, &QAbstractButton::clicked, this,
            [this] { m_menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height() + 2))); });
    titleLine->addWidget(m_more, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    text->addLayout(titleLine);
    m_description = new StyledLabel(description, Typography::Description, this);
    m_description->setWordWrap(true);
    text->addWidget(m_description);
    row->addLayout(text, 1);
    retranslate();
}

void ToolPageHeader::setDescription(const QString &description) {
    m_description->setText(description);
}

void ToolPageHeader::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void ToolPageHeader::retranslate() {
    m_name->setText(m_nameText ? m_nameText() : QString());
    m_more->setText(
        QCoreApplication::translate("Workspace", "More", "VoiceOver label for a tool page's overflow menu"));
}

SectionHeader::SectionHeader(const QString &title, QWidget *trailing, QWidget *parent)
    : QWidget(parent), m_trailing(trailing) {
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_title = new StyledLabel(title, Typography::SectionHeader, this);
    m_title->setFullLineHeight(true);
    m_title->setHeading(true);
    m_title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    column->addWidget(m_title);
    m_rule = new Rule(this);
    column->addWidget(m_rule);
    if (trailing) {
        trailing->setParent(this);
        trailing->raise();
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SectionHeader::setTitle(const QString &title) {
    m_title->setText(title);
}

void SectionHeader::placeTrailing() {
    if (!m_trailing)
        return;
    const QSize size = m_trailing->sizeHint();
    const QRect line = m_title->geometry();
    m_trailing->setGeometry(line.right() + 1 - size.width(), line.center().y() - size.height() / 2 + 1, size.width(),
                            size.height());
}

void SectionHeader::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeTrailing();
}

bool SectionHeader::event(QEvent *event) {
    const bool result = QWidget::event(event);
    if (Environment::isChange(event) || event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        placeTrailing();
    return result;
}

} // namespace velmora
