#include "ui/optionpills.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/textlayout.h"
#include "ui/typography.h"

#include <QActionGroup>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace velmora {

namespace {

constexpr int kPillInset = 12;
constexpr int kPillSpacing = 4;

int pillHeight(const QWidget *widget) {
    return int(scaled(Environment::textSize(widget), 24, 4));
}

} // namespace

OptionPill::OptionPill(const QString &title, bool selected, QWidget *parent)
    : QAbstractButton(parent), m_hover(new HoverFade(this)) {
    setText(title);
    setAccessibleName(title);
    setCheckable(true);
    setChecked(selected);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void OptionPill::setSelected(bool selected) {
    setChecked(selected);
    updateGeometry();
    update();
}

QSize OptionPill::sizeHint() const {
    const TextSize size = Environment::textSize(this);
    const QFont font = fontFor(isSelected() ? Typography::BodyEmphasis : Typography::Body, size);
    // Wide enough for the bold form, so selecting a pill never shifts its neighbours.
    const QFont bold = fontFor(Typography::BodyEmphasis, size);
    const qreal width = std::max(singleLineWidth(text(), font), singleLineWidth(text(), bold));
    return {int(std::ceil(width)) + 2 * kPillInset, pillHeight(this)};
}

bool OptionPill::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
    }
    return QAbstractButton::event(event);
}

void OptionPill::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = height() / 2.0;
    painter.setPen(Qt::NoPen);
    if (isSelected()) {
        painter.setBrush(Environment::color(this, ColorName::SurfaceCapsule));
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    } else if (m_hover->progress() > 0) {
        QColor hover = Environment::color(this, ColorName::SurfaceHover);
        hover.setAlphaF(float(hover.alphaF() * m_hover->progress()));
        painter.setBrush(hover);
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }
    const TextSize size = Environment::textSize(this);
    painter.setFont(fontFor(isSelected() ? Typography::BodyEmphasis : Typography::Body, size));
    painter.setPen(Environment::color(this, isSelected() ? ColorName::TextOnAccent : ColorName::TextSecondary));
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text());
}

OptionsMenu::OptionsMenu(const QString &title, QWidget *parent)
    : QAbstractButton(parent), m_menu(new QMenu(this)), m_hover(new HoverFade(this)) {
    setText(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (isEnabled())
            m_menu->popup(mapToGlobal(QPoint(0, height() + 2)));
    });
}

QSize OptionsMenu::sizeHint() const {
    const TextSize size = Environment::textSize(this);
    const int chevron = int(scaled(size, 10, 1));
    const qreal title = singleLineWidth(text(), fontFor(Typography::Body, size));
    return {12 + int(std::ceil(title)) + 4 + chevron + 8, pillHeight(this)};
}

void OptionsMenu::setCompactSymbol(const QString &symbol) {
    m_compactSymbol = symbol;
    updateGeometry();
    update();
}

bool OptionsMenu::showsWholeTitle() const {
    return width() >= sizeHint().width();
}

int OptionsMenu::symbolSize() const {
    return int(scaled(Environment::textSize(this), 13, 1));
}

QSize OptionsMenu::minimumSizeHint() const {
    if (!Environment::compressesHeaderOptions(this))
        return sizeHint();
    const TextSize size = Environment::textSize(this);
    const int chevron = int(scaled(size, 10, 1));
    if (!m_compactSymbol.isEmpty())
        return {12 + symbolSize() + 4 + chevron + 8, pillHeight(this)};
    const qreal ellipsis = QFontMetricsF(fontFor(Typography::Body, size)).horizontalAdvance(QStringLiteral("…"));
    return {12 + int(std::ceil(ellipsis)) + 4 + chevron + 8, pillHeight(this)};
}

bool OptionsMenu::event(QEvent *event) {
    if (Environment::isChange(event)) {
        Environment::applyHeaderOptionSizePolicy(this);
        updateGeometry();
        update();
    }
    if (event->type() == QEvent::EnabledChange)
        update();
    if (event->type() == QEvent::ToolTip) {
        // Only a title cut short needs one.
        if (showsWholeTitle())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QAbstractButton::event(event);
}

void OptionsMenu::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.4);
    const QRectF capsule(rect());
    const qreal radius = capsule.height() / 2.0;
    if (isEnabled() && m_hover->progress() > 0) {
        QColor hover = Environment::color(this, ColorName::SurfaceHover);
        hover.setAlphaF(float(hover.alphaF() * m_hover->progress()));
        painter.setPen(Qt::NoPen);
        painter.setBrush(hover);
        painter.drawRoundedRect(capsule, radius, radius);
    }
    painter.setPen(QPen(Environment::color(this, ColorName::LineStrong), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);

    const TextSize size = Environment::textSize(this);
    const int chevron = int(scaled(size, 10, 1));
    const QFont font = fontFor(Typography::Body, size);
    const qreal titleWidth = std::max<qreal>(0, width() - 12 - 4 - chevron - 8);
    const QColor ink = Environment::color(this, defaultColor(Typography::Body));
    if (!m_compactSymbol.isEmpty() && !showsWholeTitle()) {
        const int symbol = symbolSize();
        Symbols::paint(&painter, QRectF(12, 0, symbol, height()), m_compactSymbol, symbol, ink);
    } else {
        painter.setFont(font);
        painter.setPen(ink);
        const QString shown = QFontMetricsF(font).elidedText(text(), Qt::ElideRight, titleWidth + 0.5);
        painter.drawText(QRectF(12, 0, titleWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    const qreal chevronLeft = width() - 8 - chevron;
    Symbols::paint(&painter, QRectF(chevronLeft, 0, chevron, height()), QStringLiteral("chevron.down"), chevron + 1,
                   Environment::color(this, ColorName::TextTertiary));
}

OptionPills::OptionPills(const QVariantList &options, const QVariant &selection,
                         std::function<QString(const QVariant &)> title, QWidget *parent)
    : QWidget(parent), m_options(options), m_selection(selection), m_title(std::move(title)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_row = new QWidget(this);
    auto *row = new QHBoxLayout(m_row);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kPillSpacing);
    m_menu = new OptionsMenu(QString(), this);
    rebuild();
}

void OptionPills::setOptions(const QVariantList &options) {
    m_options = options;
    rebuild();
}

void OptionPills::setSelection(const QVariant &selection) {
    m_selection = selection;
    rebuild();
}

void OptionPills::rebuild() {
    auto *row = static_cast<QHBoxLayout *>(m_row->layout());
    // Keep the pills when only the selection changed, so hover and focus survive.
    const bool same = m_pills.size() == m_options.size();
    if (!same) {
        qDeleteAll(m_pills);
        m_pills.clear();
        for (int i = 0; i < m_options.size(); ++i) {
            auto *pill = new OptionPill(QString(), false, m_row);
            connect(pill, &QAbstractButton::clicked, this, [this, i] {
                if (i < m_options.size())
                    emit selected(m_options[i]);
            });
            row->addWidget(pill);
            m_pills.append(pill);
        }
    }
    for (int i = 0; i < m_options.size(); ++i) {
        OptionPill *pill = m_pills[i];
        const QString title = m_title ? m_title(m_options[i]) : m_options[i].toString();
        pill->setText(title);
        pill->setAccessibleName(title);
        pill->setSelected(m_options[i] == m_selection);
    }

    m_menu->setText(m_title ? m_title(m_selection) : m_selection.toString());
    m_menu->setAccessibleName(m_menu->text());
    QMenu *menu = m_menu->menu();
    menu->clear();
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const QVariant &option : std::as_const(m_options)) {
        QAction *action = menu->addAction(m_title ? m_title(option) : option.toString());
        action->setCheckable(true);
        action->setChecked(option == m_selection);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, option] { emit selected(option); });
    }
    m_row->adjustSize();
    updateGeometry();
    chooseForm();
}

int OptionPills::rowWidth() const {
    int width = 0;
    for (OptionPill *pill : m_pills)
        width += pill->sizeHint().width();
    if (!m_pills.isEmpty())
        width += kPillSpacing * int(m_pills.size() - 1);
    return width;
}

bool OptionPills::showsPills() const {
    return rowWidth() <= width();
}

void OptionPills::chooseForm() {
    const bool pills = showsPills();
    m_row->setVisible(pills);
    m_menu->setVisible(!pills);
    const int height = pillHeight(this);
    m_row->setGeometry(0, 0, rowWidth(), height);
    const QSize menu = m_menu->sizeHint();
    m_menu->setGeometry(0, 0, std::min(menu.width(), std::max(width(), m_menu->minimumSizeHint().width())), height);
}

QSize OptionPills::sizeHint() const {
    return {rowWidth(), pillHeight(this)};
}

QSize OptionPills::minimumSizeHint() const {
    return {m_menu->minimumSizeHint().width(), pillHeight(this)};
}

void OptionPills::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    chooseForm();
}

bool OptionPills::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        chooseForm();
    }
    if (event->type() == QEvent::LanguageChange)
        rebuild();
    return QWidget::event(event);
}

OptionsLabel::OptionsLabel(const QString &title, QWidget *parent) : StyledLabel(title, Typography::Meta, parent) {
    setKeepsIdealWidth(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

} // namespace velmora
