#include "dictation/dictationview.h"

#include "dictation/dictationcoordinator.h"
#include "dictation/speechshortcuts.h"
#include "models/localmodels.h"
#include "platform/globalshortcutregistry.h"
#include "speech/speechpermissions.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/pagescaffold.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"
#include "ui/textsize.h"
#include "ui/toolpageheader.h"
#include "ui/typography.h"
#include "ui/workspacepane.h"
#include "workspace/appnavigation.h"
#include "workspace/pinmenuitems.h"
#include "workspace/toolrecentsection.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr int kCapInset = 8;
constexpr int kGlobeSpacing = 4;
const QString kGlobe = QStringLiteral("globe");

QString text(const char *text, const char *comment) {
    return QCoreApplication::translate("Dictation", text, comment);
}

// The key that stands in for the fn key on a PC keyboard.
QString globeKeyLabel() {
    return QCoreApplication::translate("Dictation", "Right Ctrl",
                                       "Key cap of the key that starts and stops dictation when tapped alone");
}

QWidget *stack(int spacing, const QList<QWidget *> &children) {
    auto *widget = new QWidget;
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget *child : children)
        layout->addWidget(child, 0, Qt::AlignLeft);
    return widget;
}

StyledLabel *wrapping(ColorName color) {
    auto *label = new StyledLabel(Typography::Body);
    label->setColor(color);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return label;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Key caps.

KeyCap::KeyCap(KeyLegend legend, QList<KeyLegend> sizedFor, QWidget *parent)
    : QWidget(parent), m_legend(std::move(legend)), m_sizedFor(std::move(sizedFor)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(m_legend.label);
}

double KeyCap::labelWidth(const KeyLegend &legend) const {
    const QFont font = fontFor(Typography::BodyEmphasis, Environment::textSize(this));
    double width = QFontMetricsF(font).horizontalAdvance(legend.label);
    if (legend.globe)
        width += font.pixelSize() + kGlobeSpacing;
    return width;
}

QSize KeyCap::sizeHint() const {
    const TextSize size = Environment::textSize(this);
    const int side = static_cast<int>(scaled(size, 28, 4));
    double widest = labelWidth(m_legend);
    for (const KeyLegend &legend : m_sizedFor)
        widest = std::max(widest, labelWidth(legend));
    const int height =
        std::max(side, static_cast<int>(std::ceil(QFontMetricsF(fontFor(Typography::BodyEmphasis, size)).height())));
    return {std::max({side, height, static_cast<int>(std::ceil(widest)) + 2 * kCapInset}), height};
}

void KeyCap::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
    }
}

void KeyCap::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(Environment::color(this, ColorName::SurfaceContent));
    painter.setPen(QPen(Environment::color(this, ColorName::LineStrong), 1));
    painter.drawRoundedRect(shape, 6, 6);

    const QFont font = fontFor(Typography::BodyEmphasis, Environment::textSize(this));
    const QColor color = Environment::color(this, defaultColor(Typography::BodyEmphasis));
    const QFontMetricsF metrics(font);
    double x = (width() - labelWidth(m_legend)) / 2;
    if (m_legend.globe) {
        const int side = font.pixelSize();
        Symbols::paint(&painter, QRectF(x, (height() - side) / 2.0, side, side), kGlobe, side, color);
        x += side + kGlobeSpacing;
    }
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(x, (height() - metrics.height()) / 2 + metrics.ascent()), m_legend.label);
}

// ---------------------------------------------------------------------------------------------
// The page.

DictationView::DictationView(Services services, QWidget *parent)
    : QWidget(parent), m_services(services),
      m_header(new ToolPageHeader(
          toolSymbol(WorkspaceTool::Dictation), [] { return toolName(WorkspaceTool::Dictation); },
          toolSummary(WorkspaceTool::Dictation))),
      m_banner(new SetupBanner(QString(), QString())), m_whatHeader(new SectionHeader(QString())),
      m_what(wrapping(defaultColor(Typography::Body))),
      m_shortcutButton(new Button(QString(), QString(), TextButtonStyle{})), m_grid(new QWidget),
      m_gridLayout(new QGridLayout(m_grid)), m_pasteHint(wrapping(ColorName::TextSecondary)),
      m_historyNote(wrapping(ColorName::TextSecondary)) {
    m_howHeader = new SectionHeader(QString(), m_shortcutButton);
    m_gridLayout->setContentsMargins(0, 0, 0, 0);
    m_gridLayout->setHorizontalSpacing(16);
    m_gridLayout->setVerticalSpacing(12);
    m_gridLayout->setColumnStretch(1, 1);

    // The header's menu: the workspace's pin items, then this page's own.
    QMenu *more = m_header->moreMenu();
    AppNavigation *navigation = services.workspace.navigation;
    PinnedTools *pins = services.workspace.pins;
    const auto fillMenu = [this, more, navigation, pins] {
        more->clear();
        if (pins && navigation)
            PinMenuItems::addTo(more, WorkspaceTool::Dictation, *pins, *navigation);
        m_settingsAction = more->addAction(text("Dictation Settings\u2026", "Dictation page overflow menu item"));
        connect(m_settingsAction, &QAction::triggered, this,
                [navigation] { navigation->openSettings(SettingsCategory::Dictation); });
    };
    connect(more, &QMenu::aboutToShow, this, fillMenu);
    fillMenu();

    connect(m_banner, &SetupBanner::linkActivated, this, [this, navigation] {
        navigation->openSettings(banner() == Banner::Permissions ? SettingsCategory::Permissions
                                                                 : SettingsCategory::Models);
    });
    connect(m_shortcutButton, &QAbstractButton::clicked, this,
            [navigation] { navigation->openSettings(SettingsCategory::Shortcuts); });

    auto *scaffold = new PageScaffold(32, 32, this);
    scaffold->setHeader(m_header);
    scaffold->addSection(m_banner);
    scaffold->addSection(stack(16, {m_whatHeader, m_what}));
    auto *how = stack(16, {m_howHeader, m_grid, m_pasteHint, m_historyNote});
    static_cast<QVBoxLayout *>(how->layout())->setAlignment(m_howHeader, {});
    static_cast<QVBoxLayout *>(how->layout())->setAlignment(m_pasteHint, {});
    static_cast<QVBoxLayout *>(how->layout())->setAlignment(m_historyNote, {});
    static_cast<QVBoxLayout *>(how->layout())->setAlignment(m_grid, {});
    static_cast<QVBoxLayout *>(m_what->parentWidget()->layout())->setAlignment(m_what, {});
    static_cast<QVBoxLayout *>(m_what->parentWidget()->layout())->setAlignment(m_whatHeader, {});
    scaffold->addSection(how);
    if (services.workspace.recent && services.workspace.cards && navigation) {
        m_recent = new ToolRecentSection(WorkspaceTool::Dictation, *services.workspace.recent, *navigation,
                                         *services.workspace.cards);
        scaffold->addSection(m_recent);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scaffold);

    // Every part follows its services as they change.
    for (auto signal : {&SpeechShortcuts::toggleUsesGlobeChanged, &SpeechShortcuts::cancelUsesEscapeChanged,
                        &SpeechShortcuts::toggleChordChanged, &SpeechShortcuts::cancelChordChanged})
        connect(services.shortcuts, signal, this, &DictationView::refresh);
    connect(services.permissions, &SpeechPermissions::microphoneChanged, this, &DictationView::refresh);
    connect(services.permissions, &SpeechPermissions::accessibilityChanged, this, &DictationView::refresh);
    connect(&services.models->speech(), &ModelStore::stateChanged, this, &DictationView::refresh);
    connect(services.dictation, &DictationCoordinator::historySaveFailedChanged, this, &DictationView::refresh);
    connect(services.dictation, &DictationCoordinator::libraryStatusChanged, this, &DictationView::refresh);
    refresh();
}

std::optional<KeyLegend> DictationView::startLegend() const {
    const SpeechShortcuts &shortcuts = *m_services.shortcuts;
    if (shortcuts.toggleUsesGlobe())
        return KeyLegend{globeKeyLabel(), false};
    if (shortcuts.toggleChord())
        return KeyLegend{m_services.registry->displayText(*shortcuts.toggleChord()), false};
    return std::nullopt;
}

std::optional<KeyLegend> DictationView::cancelLegend() const {
    const SpeechShortcuts &shortcuts = *m_services.shortcuts;
    if (shortcuts.cancelUsesEscape())
        return KeyLegend{QStringLiteral("esc"), false};
    if (shortcuts.cancelChord())
        return KeyLegend{m_services.registry->displayText(*shortcuts.cancelChord()), false};
    return std::nullopt;
}

DictationView::Banner DictationView::banner() const {
    if (m_services.permissions->microphone() != SpeechPermissions::MicrophoneStatus::Authorized ||
        !m_services.permissions->accessibility())
        return Banner::Permissions;
    using Kind = ModelStore::State::Kind;
    const Kind kind = m_services.models->speech().state().kind;
    if (kind == Kind::Failed || kind == Kind::Unavailable || kind == Kind::Canceled)
        return Banner::Model;
    return Banner::None;
}

bool DictationView::needsSetup() const {
    using Kind = ModelStore::State::Kind;
    const Kind kind = m_services.models->speech().state().kind;
    const bool model =
        kind == Kind::Checking || kind == Kind::Downloading || kind == Kind::Verifying || kind == Kind::Ready;
    return banner() == Banner::Permissions || !model;
}

QList<KeyCap *> DictationView::caps() const {
    return m_grid->findChildren<KeyCap *>(QString(), Qt::FindDirectChildrenOnly);
}

QStringList DictationView::rowTexts() const {
    QStringList texts;
    for (int row = 0; row < m_gridLayout->rowCount(); ++row)
        if (QLayoutItem *item = m_gridLayout->itemAtPosition(row, 1))
            if (auto *label = qobject_cast<StyledLabel *>(item->widget()))
                texts.append(label->text());
    return texts;
}

void DictationView::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

void DictationView::refresh() {
    m_header->setDescription(toolSummary(WorkspaceTool::Dictation));
    switch (banner()) {
    case Banner::Permissions:
        m_banner->setMessage(
            text("Dictation needs microphone and Accessibility access.", "Banner on the Dictation page"));
        m_banner->setLink(text("Allow in Settings", "Banner link to Settings > Permissions"));
        break;
    case Banner::Model:
        m_banner->setMessage(text("Dictation needs the speech recognition model.", "Banner on the Dictation page"));
        m_banner->setLink(text("Download in Settings", "Banner link to Settings > Models"));
        break;
    case Banner::None: break;
    }
    m_banner->setVisible(banner() != Banner::None);

    m_whatHeader->setTitle(text("What it is", "Dictation page section describing the tool"));
    m_what->setText(text("Dictation types what you say into the app you're using. It works anywhere you can type, "
                         "like email, chat, and documents.",
                         "Dictation page: what the tool is"));
    m_howHeader->setTitle(text("How it works", "Dictation page section explaining the shortcuts"));
    m_shortcutButton->setText(startLegend() ? text("Change Shortcut\u2026", "Opens Settings > Shortcuts")
                                            : text("Set Shortcut\u2026", "Opens Settings > Shortcuts"));
    rebuildGrid();
    m_pasteHint->setText(text("If the text isn't pasted, click the Velmora icon in the menu bar and choose Copy Last "
                              "Transcript.",
                              "How it works: recovering text that wasn't pasted, e.g. no text field was selected"));
    const std::optional<QString> note = m_services.dictation->historyNote();
    m_historyNote->setText(note.value_or(QString()));
    m_historyNote->setVisible(note.has_value());
}

void DictationView::rebuildGrid() {
    while (QLayoutItem *item = m_gridLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_noShortcut = nullptr;
    const std::optional<KeyLegend> start = startLegend();
    const std::optional<KeyLegend> cancel = cancelLegend();
    QList<KeyLegend> all;
    if (start)
        all.append(*start);
    if (cancel)
        all.append(*cancel);
    const auto describe = [](const QString &text) {
        auto *label = new StyledLabel(text, Typography::Body);
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return label;
    };
    if (start) {
        m_gridLayout->addWidget(new KeyCap(*start, all, m_grid), 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
        m_gridLayout->addWidget(describe(text("Press to start. Press again to stop and paste the text.",
                                              "How it works: what the start/stop shortcut does")),
                                0, 1, Qt::AlignVCenter);
    } else {
        m_noShortcut = new StyledLabel(text("No shortcut", "How it works: no start/stop shortcut is set"),
                                       Typography::Body, m_grid);
        m_noShortcut->setColor(ColorName::TextSecondary);
        m_gridLayout->addWidget(m_noShortcut, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
        m_gridLayout->addWidget(describe(text("Set a shortcut to start dictating.",
                                              "How it works: shown when no start/stop shortcut is set")),
                                0, 1, Qt::AlignVCenter);
    }
    if (cancel) {
        m_gridLayout->addWidget(new KeyCap(*cancel, all, m_grid), 1, 0, Qt::AlignLeft | Qt::AlignVCenter);
        m_gridLayout->addWidget(
            describe(text("Press to cancel without pasting.", "How it works: what the cancel shortcut does")), 1, 1,
            Qt::AlignVCenter);
    }
}

} // namespace velmora
