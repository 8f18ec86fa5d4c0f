#include "workspace/toolrecentsection.h"

#include "ui/button.h"
#include "ui/styledlabel.h"
#include "workspace/recentcardfactory.h"
#include "workspace/toolrecententries.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace velmora {

ToolRecentSection::ToolRecentSection(WorkspaceTool tool, RecentHistorySource &source, AppNavigation &navigation,
                                     RecentCardFactory &cards, QWidget *parent)
    : QWidget(parent), m_tool(tool), m_factory(cards), m_entries(new ToolRecentEntries(tool, source, navigation, this)),
      m_title(new StyledLabel(Typography::CardTitle)), m_seeAll(new Button(QString(), QString(), TextButtonStyle{})),
      m_shelf(new QWidget), m_scroll(new QScrollArea) {
    m_title->setHeading(true);
    auto *titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(12);
    titleRow->addWidget(m_title);
    titleRow->addStretch(1);
    titleRow->addWidget(m_seeAll);
    connect(m_seeAll, &QAbstractButton::clicked, m_entries, &ToolRecentEntries::seeAll);

    QScrollArea *scroll = m_scroll;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // The row scrolls sideways with the usual gestures; no scroll bar shows.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    scroll->viewport()->setAutoFillBackground(false);
    m_row = new QHBoxLayout(m_shelf);
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(12);
    m_row->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->setWidget(m_shelf);
    m_shelf->setAutoFillBackground(false); // setWidget turned it on
    // The cards grow with the text size: the row follows their height.
    m_shelf->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addLayout(titleRow);
    layout->addWidget(scroll);

    connect(m_entries, &ToolRecentEntries::entriesChanged, this, &ToolRecentSection::rebuild);
    retranslate();
    rebuild();
    // The section lives as long as its page is shown (each visit builds the page anew), so it
    // loads from now on and stops with the page.
    m_entries->start();
}

void ToolRecentSection::rebuild() {
    for (QWidget *card : std::as_const(m_cards))
        card->deleteLater();
    m_cards.clear();
    for (const HistoryEntry &entry : m_entries->entries()) {
        QWidget *card = m_factory.createCard(entry, m_tool, m_shelf);
        if (!card)
            continue;
        m_row->addWidget(card, 0, Qt::AlignTop);
        m_cards.append(card);
    }
    m_scroll->setFixedHeight(m_shelf->sizeHint().height());
    // Nothing at all, not even the title, while there is no entry.
    setVisible(!m_cards.isEmpty());
}

bool ToolRecentSection::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_shelf && event->type() == QEvent::LayoutRequest)
        m_scroll->setFixedHeight(m_shelf->sizeHint().height());
    return QWidget::eventFilter(watched, event);
}

void ToolRecentSection::retranslate() {
    m_title->setText(
        QCoreApplication::translate("Workspace", "Recent", "Tool page section with the tool's latest History entries"));
    m_seeAll->setText(QCoreApplication::translate("Workspace", "See all", "Opens Notes or History from a Home shelf"));
}

void ToolRecentSection::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace velmora
