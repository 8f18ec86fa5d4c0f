#include "ui/pagescaffold.h"

#include "ui/environment.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace velmora {

namespace {

void paintPageBackground(QScrollArea *area) {
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, Environment::color(area, ColorName::SurfaceContent));
    area->viewport()->setPalette(palette);
    area->viewport()->setAutoFillBackground(true);
    if (area->widget()) {
        area->widget()->setAutoFillBackground(false);
    }
}

} // namespace

PageScaffold::PageScaffold(qreal sectionSpacing, qreal headerSpacing, QWidget *parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *page = new QWidget;
    m_outer = new QVBoxLayout(page);
    m_outer->setContentsMargins(40, 32, 40, 40);
    m_outer->setSpacing(int(headerSpacing));
    m_column = new QWidget(page);
    m_sections = new QVBoxLayout(m_column);
    m_sections->setContentsMargins(0, 0, 0, 0);
    m_sections->setSpacing(int(sectionSpacing));
    m_outer->addWidget(m_column);
    m_outer->addStretch(1);
    setWidget(page);
    paintPageBackground(this);
}

void PageScaffold::setHeader(QWidget *header) {
    delete m_header;
    m_header = header;
    if (header)
        m_outer->insertWidget(0, header);
}

void PageScaffold::addSection(QWidget *section) {
    m_sections->addWidget(section);
}

bool PageScaffold::event(QEvent *event) {
    if (Environment::isChange(event))
        paintPageBackground(this);
    return QScrollArea::event(event);
}

ToolPageScaffold::ToolPageScaffold(QWidget *header, QWidget *workspace, QWidget *recent, QWidget *parent)
    : QScrollArea(parent), m_header(header), m_workspace(workspace), m_recent(recent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *page = new QWidget;
    auto *outer = new QVBoxLayout(page);
    outer->setContentsMargins(40, 32, 40, 40);
    outer->setSpacing(32);
    m_block = new QWidget(page);
    auto *block = new QVBoxLayout(m_block);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(20);
    if (header)
        block->addWidget(header);
    if (workspace)
        block->addWidget(workspace, 1);
    outer->addWidget(m_block);
    m_block->installEventFilter(this);
    if (recent)
        outer->addWidget(recent);
    outer->addStretch(1);
    setWidget(page);
    paintPageBackground(this);
}

qreal ToolPageScaffold::minimumBlockHeight(qreal visibleHeight) {
    return std::max<qreal>(0, visibleHeight - 32 - 68);
}

void ToolPageScaffold::updateMinimum() {
    // At least the first screen's share, and never less than the header and workspace need.
    const int content = m_block->layout()->minimumSize().height();
    const int wanted = std::max(int(minimumBlockHeight(viewport()->height())), content);
    if (m_block->minimumHeight() != wanted)
        m_block->setMinimumHeight(wanted);
}

bool ToolPageScaffold::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_block && event->type() == QEvent::LayoutRequest)
        updateMinimum();
    return QScrollArea::eventFilter(watched, event);
}

void ToolPageScaffold::resizeEvent(QResizeEvent *event) {
    updateMinimum();
    QScrollArea::resizeEvent(event);
}

bool ToolPageScaffold::event(QEvent *event) {
    if (Environment::isChange(event))
        paintPageBackground(this);
    return QScrollArea::event(event);
}

} // namespace velmora
