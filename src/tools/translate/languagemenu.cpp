#include "tools/translate/languagemenu.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/typography.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QToolTip>

namespace velmora {

namespace {

constexpr int kGap = 4;

QFont titleFont(const QWidget *widget) {
    return fontFor(Typography::BodyEmphasis, Environment::textSize(widget));
}

} // namespace

LanguageMenu::LanguageMenu(std::optional<QString> detectTitle, QWidget *parent)
    : QAbstractButton(parent), m_detectTitle(std::move(detectTitle)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, &LanguageMenu::showMenu);
}

void LanguageMenu::setTitle(const QString &title) {
    if (title == text())
        return;
    setText(title);
    setAccessibleDescription(title);
    updateGeometry();
    update();
}

void LanguageMenu::setSelection(std::optional<TranslateLanguage> selection) {
    m_selection = selection;
}

void LanguageMenu::setDetectTitle(std::optional<QString> title) {
    m_detectTitle = std::move(title);
}

int LanguageMenu::chevronPointSize() const {
    return int(scaled(Environment::textSize(this), 10, 1));
}

QMenu *LanguageMenu::createMenu(QWidget *parent) {
    auto *menu = new QMenu(parent);
    if (m_detectTitle) {
        QAction *detect = menu->addAction(*m_detectTitle);
        detect->setCheckable(true);
        detect->setChecked(!m_selection);
        connect(detect, &QAction::triggered, this, [this] { emit selected(std::nullopt); });
        menu->addSeparator();
    }
    for (TranslateLanguage language : allTranslateLanguages()) {
        QAction *item = menu->addAction(interfaceName(language));
        item->setCheckable(true);
        item->setChecked(m_selection == language);
        connect(item, &QAction::triggered, this, [this, language] { emit selected(language); });
    }
    return menu;
}

void LanguageMenu::showMenu() {
    QMenu *menu = createMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

QSize LanguageMenu::sizeHint() const {
    const QFontMetrics metrics(titleFont(this));
    const int chevron = chevronPointSize();
    // One pixel more than the advance: eliding measures in fractions.
    const int width = metrics.horizontalAdvance(text()) + 1 + kGap + chevron;
    return {width, std::max(metrics.height(), chevron)};
}

QSize LanguageMenu::minimumSizeHint() const {
    const QSize ideal = sizeHint();
    if (!Environment::compressesHeaderOptions(this))
        return ideal;
    const QFontMetrics metrics(titleFont(this));
    return {metrics.horizontalAdvance(QStringLiteral("…")) + kGap + chevronPointSize(), ideal.height()};
}

bool LanguageMenu::event(QEvent *event) {
    if (Environment::isChange(event)) {
        Environment::applyHeaderOptionSizePolicy(this);
        updateGeometry();
        update();
    }
    if (event->type() == QEvent::ToolTip) {
        // Only a title cut short needs one.
        if (width() >= sizeHint().width())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QAbstractButton::event(event);
}

void LanguageMenu::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int chevron = chevronPointSize();
    const QFont font = titleFont(this);
    const QFontMetrics metrics(font);
    const int titleRoom = std::max(0, width() - kGap - chevron);
    const QString shown =
        metrics.horizontalAdvance(text()) <= titleRoom ? text() : metrics.elidedText(text(), Qt::ElideRight, titleRoom);
    painter.setFont(font);
    painter.setPen(Environment::color(this, ColorName::TextPrimary));
    const int titleWidth = metrics.horizontalAdvance(shown);
    painter.drawText(QRect(0, 0, titleWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
    const QRectF box(titleWidth + kGap, (height() - chevron) / 2.0, chevron, chevron);
    Symbols::paint(&painter, box, QStringLiteral("chevron.down"), chevron,
                   Environment::color(this, ColorName::TextTertiary));
}

} // namespace velmora
