#include "home/homehistorycard.h"

#include "history/historydeleteconfirmation.h"
#include "history/historyentrylabels.h"
#include "history/historyfeed.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"
#include "ui/typography.h"
#include "workspace/appnavigation.h"
#include "workspace/datesection.h"
#include "workspace/itemcontextmenu.h"
#include "workspace/sendabletext.h"
#include "workspace/toolhandoff.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>

namespace velmora {

namespace {

// The tool's symbol at the size of the caption text, in the accent colour.
class ToolSymbol : public QWidget {
public:
    explicit ToolSymbol(QString symbol) : m_symbol(std::move(symbol)) {
        setAttribute(Qt::WA_TranslucentBackground);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const int side = pointSize(Typography::Caption, Environment::textSize(this));
        return {side, side};
    }

protected:
    bool event(QEvent *event) override {
        if (Environment::isChange(event)) {
            updateGeometry();
            update();
        }
        return QWidget::event(event);
    }
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        Symbols::paint(&painter, rect(), m_symbol, pointSize(Typography::Caption, Environment::textSize(this)),
                       Environment::color(this, ColorName::Accent));
    }

private:
    QString m_symbol;
};

// Line feeds break lines in the text kit only as line separators.
// A run without output stores none or an empty text (a failed translation): either shows the
// placeholder and offers nothing to copy or send.
bool hasText(const HistoryEntry &entry) {
    return entry.text && !entry.text->trimmed().isEmpty();
}

QString withLineBreaks(QString text) {
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

} // namespace

int HomeHistoryCard::height(TextSize size) {
    return int(scaled(size, 168, 4));
}

HomeHistoryCard::HomeHistoryCard(HistoryEntry entry, bool showsTool, std::optional<WorkspaceTool> sendFrom,
                                 Services services, QWidget *parent)
    : Button(QString(), QString(), FillButtonStyle{ColorName::SurfaceContent, 12, ColorName::LineStrong}, parent),
      m_entry(std::move(entry)), m_sendFrom(sendFrom), m_feed(services.feed), m_navigation(services.navigation),
      m_handoff(services.handoff), m_time(new StyledLabel(Typography::Meta)),
      m_text(new StyledLabel(Typography::Body)) {
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(8);
    const std::optional<WorkspaceTool> tool = workspaceToolFromString(m_entry.tool);
    if (showsTool && tool) {
        top->addWidget(new ToolSymbol(toolSymbol(*tool)), 0, Qt::AlignVCenter);
        m_toolName = new StyledLabel(Typography::Meta);
        m_toolName->setColor(ColorName::TextSecondary);
        top->addWidget(m_toolName, 1, Qt::AlignVCenter);
        top->addWidget(m_time, 0, Qt::AlignVCenter);
    } else {
        top->addWidget(m_time, 1, Qt::AlignVCenter);
    }
    column->addLayout(top);
    m_text->setWordWrap(true);
    m_text->setMaximumLineCount(5);
    if (!hasText(m_entry))
        m_text->setColor(ColorName::TextSecondary);
    column->addWidget(m_text);
    column->addStretch(1);
    setLabelWidget(content);
    setFixedSize(kWidth, height(Environment::textSize(this)));

    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_navigation)
            m_navigation->openHistoryEntry(m_entry.id);
    });
    retranslate();
}

void HomeHistoryCard::retranslate() {
    if (m_toolName)
        m_toolName->setText(toolName(*workspaceToolFromString(m_entry.tool)));
    const std::unique_ptr<icu::Calendar> calendar = DateSection::currentCalendar();
    m_time->setText(
        HistoryEntryLabels::shortTimeLabel(m_entry.createdAt, QDateTime::currentDateTime(), *calendar, QLocale()));
    m_text->setText(hasText(m_entry) ? withLineBreaks(*m_entry.text) : HistoryEntryLabels::placeholderText(m_entry));
    // One element for screen readers.
    QStringList parts;
    if (m_toolName)
        parts.append(m_toolName->text());
    parts.append(m_time->text());
    parts.append(hasText(m_entry) ? *m_entry.text : m_text->text());
    setText(parts.join(QStringLiteral(", ")));
}

QMenu *HomeHistoryCard::createContextMenu() {
    auto *menu = new QMenu;
    QPointer<HomeHistoryCard> self(this);
    const std::optional<SendableText> content =
        hasText(m_entry) ? SendableText::fromEntry(m_entry, m_sendFrom) : std::nullopt;
    if (m_handoff)
        ItemContextMenu::addTo(menu, content, *m_handoff, [self] {
            if (self)
                self->askToDelete();
        });
    return menu;
}

void HomeHistoryCard::askToDelete() {
    if (m_confirmation)
        return;
    m_deleting = m_entry;
    QPointer<HistoryFeed> feed = m_feed;
    QPointer<AppNavigation> navigation = m_navigation;
    m_confirmation = HistoryDeleteConfirmation::open(this, m_entry, [feed, navigation](const HistoryEntry &entry) {
        // Its steps leave Back and Forward before the run goes.
        if (navigation)
            navigation->forgetHistoryEntry(entry.id);
        // Runs on by itself, past the card: the reload that follows removes the card.
        if (feed)
            feed->deleteEntry(entry.id);
    });
    connect(m_confirmation, &QDialog::finished, this, [this] { m_deleting.reset(); });
}

void HomeHistoryCard::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

bool HomeHistoryCard::event(QEvent *event) {
    if (Environment::isChange(event))
        setFixedSize(kWidth, height(Environment::textSize(this)));
    else if (event->type() == QEvent::LanguageChange)
        retranslate();
    return Button::event(event);
}

} // namespace velmora
