#include "workspace/sidebar.h"

#include "core/defaults.h"
#include "ui/animation.h"
#include "ui/environment.h"
#include "workspace/appnavigation.h"
#include "workspace/pinmenuitems.h"
#include "workspace/pinnedtools.h"
#include "workspace/settingsattention.h"
#include "workspace/sidebarbutton.h"
#include "workspace/sidebargroup.h"
#include "workspace/sidebargroupheader.h"
#include "workspace/sidebarrow.h"
#include "workspace/toolgroup.h"
#include "workspace/workspacesettings.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace velmora {

namespace {

constexpr int kTopInset = 64;
constexpr int kBottomInset = 12;
constexpr int kBlockSpacing = 16;

// A plain widget that paints the hairline along its top edge and the sidebar fill.
class SidebarFooter : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.fillRect(rect(), Environment::color(this, ColorName::SurfaceSidebar));
        painter.fillRect(QRect(0, 0, width(), 1), Environment::color(this, ColorName::LineHairline));
    }
};

QWidget *column(QWidget *parent, QVBoxLayout **layout) {
    auto *widget = new QWidget(parent);
    auto *box = new QVBoxLayout(widget);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    *layout = box;
    return widget;
}

} // namespace

Sidebar::Sidebar(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults, SettingsAttention *attention,
                 QWidget *parent)
    : QWidget(parent), m_navigation(navigation), m_pins(pins), m_defaults(defaults), m_attention(attention),
      m_scroll(new QScrollArea(this)), m_footer(new SidebarFooter(this)) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // The band of the title-bar controls stays clear: rows scroll below it, never under the buttons.
    outer->addSpacing(kTopInset);
    outer->addWidget(m_scroll, 1);
    outer->addWidget(m_footer);

    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->viewport()->setAutoFillBackground(false);

    auto *content = new QWidget;
    m_stack = new QVBoxLayout(content);
    m_stack->setContentsMargins(0, 0, 0, kBottomInset);
    m_stack->setSpacing(kBlockSpacing);

    QVBoxLayout *fixedLayout = nullptr;
    QWidget *fixed = column(content, &fixedLayout);
    for (const WorkspacePage &page : {WorkspacePage::home(), WorkspacePage::notes(), WorkspacePage::history()})
        fixedLayout->addWidget(makeRow({page, false}, fixed));
    m_stack->addWidget(fixed);

    Group *pinned = makeGroup(QString::fromLatin1(SidebarGroup::kPinnedId), m_stack);
    Q_UNUSED(pinned);
    for (ToolGroup toolGroup : allToolGroups()) {
        Group *g = makeGroup(toolGroupId(toolGroup), m_stack);
        for (WorkspaceTool tool : toolGroupTools(toolGroup))
            g->rowsLayout->addWidget(makeRow({WorkspacePage::tool(tool), false}, g->rows));
    }
    m_stack->addStretch(1);
    m_scroll->setWidget(content);
    content->setAutoFillBackground(false); // setWidget turned it on; the sidebar paints its fill

    auto *footerLayout = new QVBoxLayout(m_footer);
    footerLayout->setContentsMargins(0, 1, 0, 0);
    m_settings = makeRow({WorkspacePage::settings(), false}, m_footer);
    footerLayout->addWidget(m_settings, 0, Qt::AlignVCenter);
    updateFooterHeight();

    connect(&navigation, &AppNavigation::pageChanged, this, &Sidebar::updateSelection);
    connect(&navigation, &AppNavigation::fromPinnedChanged, this, &Sidebar::updateSelection);
    connect(&pins, &PinnedTools::toolsChanged, this, &Sidebar::updatePinnedRows);
    connect(&defaults, &Defaults::changed, this, [this](const QString &key) {
        if (key == kCollapsedSidebarGroups.name)
            updateCollapsed(true);
    });
    if (attention)
        connect(attention, &SettingsAttention::changed, this, &Sidebar::updateAttention);

    updatePinnedRows();
    updateCollapsed(false);
    updateSelection();
    updateAttention();
    retranslate();
}

Sidebar::~Sidebar() = default;

SidebarRow *Sidebar::makeRow(const SidebarItem &item, QWidget *parent) {
    auto *row = new SidebarRow(item.page.symbol(), item.page.title(), parent);
    row->setSelected(isSelected(item));
    connect(row, &SidebarButton::clicked, this, [this, item] { open(item); });
    if (auto tool = item.page.workspaceTool()) {
        const WorkspaceTool t = *tool;
        if (item.pinned) {
            row->setAcceptDrops(true);
            row->installEventFilter(this);
            row->setMenuBuilder([this, t](QMenu *menu) {
                PinMoveMenuItems::addTo(menu, t, m_pins);
                menu->addSeparator();
                PinMenuItems::addTo(menu, t, m_pins, m_navigation);
            });
        } else {
            row->setMenuBuilder([this, t](QMenu *menu) { PinMenuItems::addTo(menu, t, m_pins, m_navigation); });
        }
    }
    m_rows.insert(item, row);
    return row;
}

Sidebar::Group *Sidebar::makeGroup(const QString &id, QVBoxLayout *into) {
    auto group = std::make_unique<Group>();
    group->id = id;
    QVBoxLayout *blockLayout = nullptr;
    QWidget *block = column(nullptr, &blockLayout);
    group->header = new SidebarGroupHeader(SidebarGroup{id, {}}.title(), false, block);
    connect(group->header, &SidebarButton::clicked, this, [this, id] { toggleGroup(id); });
    blockLayout->addWidget(group->header);
    group->rows = column(block, &group->rowsLayout);
    blockLayout->addWidget(group->rows);
    group->animation = new QVariantAnimation(this);
    Group *raw = group.get();
    connect(group->animation, &QVariantAnimation::valueChanged, this,
            [raw](const QVariant &value) { raw->rows->setMaximumHeight(value.toInt()); });
    connect(group->animation, &QVariantAnimation::finished, this, [raw] {
        raw->rows->setVisible(!raw->collapsed);
        raw->rows->setMaximumHeight(QWIDGETSIZE_MAX);
    });
    into->addWidget(block);
    m_groups.push_back(std::move(group));
    return raw;
}

Sidebar::Group *Sidebar::group(const QString &id) const {
    for (const auto &g : m_groups) {
        if (g->id == id)
            return g.get();
    }
    return nullptr;
}

SidebarRow *Sidebar::row(const SidebarItem &item) const {
    return m_rows.value(item, nullptr);
}

SidebarGroupHeader *Sidebar::header(const QString &groupId) const {
    Group *g = group(groupId);
    return g ? g->header : nullptr;
}

QList<SidebarItem> Sidebar::visibleRows() const {
    QList<SidebarItem> items = SidebarGroup::visibleItems(m_pins.tools(), m_defaults.get(kCollapsedSidebarGroups));
    items.append({WorkspacePage::settings(), false});
    return items;
}

bool Sidebar::isSelected(const SidebarItem &item) const {
    return m_navigation.page() == item.page && m_navigation.fromPinned() == item.pinned;
}

void Sidebar::open(const SidebarItem &item) {
    m_navigation.open(item.page, item.pinned);
}

void Sidebar::toggleGroup(const QString &groupId) {
    m_defaults.set(kCollapsedSidebarGroups, SidebarGroup::toggled(groupId, m_defaults.get(kCollapsedSidebarGroups)));
}

void Sidebar::updatePinnedRows() {
    Group *pinned = group(QString::fromLatin1(SidebarGroup::kPinnedId));
    const QList<WorkspaceTool> tools = m_pins.tools();
    // Rows are kept per tool and moved, never rebuilt: the row being dragged must outlive the
    // reorders its drag causes.
    for (auto it = m_pinnedRows.begin(); it != m_pinnedRows.end();) {
        if (!tools.contains(it.key())) {
            m_rows.remove({WorkspacePage::tool(it.key()), true});
            it.value()->hide();
            it.value()->deleteLater();
            pinned->rowsLayout->removeWidget(it.value());
            it = m_pinnedRows.erase(it);
        } else {
            ++it;
        }
    }
    for (int i = 0; i < tools.size(); ++i) {
        const WorkspaceTool tool = tools[i];
        SidebarRow *row = m_pinnedRows.value(tool);
        if (!row) {
            row = makeRow({WorkspacePage::tool(tool), true}, pinned->rows);
            m_pinnedRows.insert(tool, row);
        }
        pinned->rowsLayout->removeWidget(row);
        pinned->rowsLayout->insertWidget(i, row);
        row->show();
        row->setIconColor(QStringLiteral("PinTint%1").arg(i % 9 + 1));
        row->setShortcutText(QStringLiteral("Ctrl+%1").arg(i + 1));
    }
    pinned->header->parentWidget()->setVisible(!tools.isEmpty());
    updateSelection();
}

void Sidebar::updateSelection() {
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        const bool selected = isSelected(it.key());
        // A page opened from elsewhere (the Go menu, a link) brings its row into view.
        if (selected && !it.value()->isSelected() && it.value()->parentWidget() != m_footer)
            m_reveal = it.value();
        it.value()->setSelected(selected);
    }
    revealSelection();
}

void Sidebar::revealSelection() {
    if (!m_reveal || !isVisible())
        return;
    SidebarRow *row = m_reveal;
    m_reveal.clear();
    QWidget *content = m_scroll->widget();
    // Settle the geometry now: a text size or window change may still have layout passes queued,
    // and the scroll range would clamp to the old content height.
    layout()->activate();
    content->layout()->activate();
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(m_scroll, &request);
    if (!row->isVisible())
        return; // in a collapsed group
    QScrollBar *bar = m_scroll->verticalScrollBar();
    const int viewport = m_scroll->viewport()->height();
    const int top = row->mapTo(content, QPoint(0, 0)).y();
    const int bottom = top + row->height();
    const int context = row->height();
    int value = bar->value();
    if (top - context < value)
        value = top - context;
    else if (bottom + context > value + viewport)
        value = bottom + context - viewport;
    else
        return;
    value = qBound(bar->minimum(), value, bar->maximum());
    // The top edge sits under the title-bar band: a row or header cut there reads as hidden
    // under it, so move to the nearer edge of whatever straddles it that keeps the row in view.
    for (auto *item : content->findChildren<SidebarButton *>()) {
        if (!item->isVisible())
            continue;
        const int itemTop = item->mapTo(content, QPoint(0, 0)).y();
        const int itemBottom = itemTop + item->height();
        if (itemTop >= value || itemBottom <= value)
            continue;
        if (top >= itemBottom && itemBottom <= bar->maximum())
            value = itemBottom;
        else if (bottom <= itemTop + viewport)
            value = itemTop;
        break;
    }
    bar->setValue(value);
}

void Sidebar::updateCollapsed(bool animated) {
    const QString stored = m_defaults.get(kCollapsedSidebarGroups);
    for (const auto &g : m_groups)
        setGroupCollapsed(*g, SidebarGroup::isCollapsed(g->id, stored), animated);
}

void Sidebar::setGroupCollapsed(Group &group, bool collapsed, bool animated) {
    group.header->setCollapsed(collapsed);
    if (group.collapsed == collapsed && group.animation->state() != QAbstractAnimation::Running) {
        group.rows->setVisible(!collapsed);
        return;
    }
    group.collapsed = collapsed;
    group.animation->stop();
    const int full = group.rows->sizeHint().height();
    group.rows->setVisible(true);
    group.animation->setStartValue(collapsed ? full : 0);
    group.animation->setEndValue(collapsed ? 0 : full);
    if (animated)
        startReducibleAnimation(group.animation, Animation::standard(), this);
    else
        startReducibleAnimation(group.animation, std::nullopt, this);
}

void Sidebar::updateAttention() {
    m_settings->setAttentionCount(m_attention ? m_attention->total() : 0);
}

void Sidebar::updateFooterHeight() {
    m_footer->setFixedHeight(int(scaled(Environment::textSize(this), 44, 4)));
}

void Sidebar::retranslate() {
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        it.value()->setTitle(it.key().page.title());
    for (const auto &g : m_groups)
        g->header->setTitle(SidebarGroup{g->id, {}}.title());
}

std::optional<WorkspaceTool> Sidebar::pinnedToolOf(QObject *object) const {
    for (auto it = m_pinnedRows.cbegin(); it != m_pinnedRows.cend(); ++it) {
        if (it.value() == object)
            return it.key();
    }
    return std::nullopt;
}

void Sidebar::dragPin(WorkspaceTool tool) {
    SidebarRow *source = m_pinnedRows.value(tool);
    if (!source)
        return;
    QPointer<Sidebar> self(this);
    m_draggingPin = tool;
    auto *drag = new QDrag(source);
    auto *mime = new QMimeData;
    mime->setText(toString(tool));
    drag->setMimeData(mime);
    drag->setPixmap(source->grab());
    drag->setHotSpot(source->mapFromGlobal(QCursor::pos()));
    if (m_dragLoop)
        m_dragLoop(drag);
    else
        drag->exec(Qt::MoveAction);
    // Wherever the drag ended (on a pinned row, elsewhere in the window, in another program or
    // cancelled), it is over: a later text drag must not move the pin.
    if (self)
        self->m_draggingPin.reset();
}

void Sidebar::dragEntered(WorkspaceTool target) {
    if (!m_draggingPin || *m_draggingPin == target)
        return;
    auto position = m_pins.indexOf(target);
    if (!position)
        return;
    m_pins.move(*m_draggingPin, *position);
}

bool Sidebar::eventFilter(QObject *watched, QEvent *event) {
    const auto tool = pinnedToolOf(watched);
    if (!tool)
        return QWidget::eventFilter(watched, event);
    auto *row = static_cast<SidebarRow *>(watched);
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto *move = static_cast<QMouseEvent *>(event);
        const QPoint travelled = move->position().toPoint() - row->pressPosition();
        if (row->isPressed() && (move->buttons() & Qt::LeftButton) && !m_draggingPin &&
            travelled.manhattanLength() >= QApplication::startDragDistance()) {
            row->cancelPress();
            dragPin(*tool);
            return true;
        }
        return false;
    }
    case QEvent::DragEnter: {
        auto *enter = static_cast<QDragEnterEvent *>(event);
        // Only the drag of a pinned row is taken: no other text moves the pins.
        if (!m_draggingPin || !enter->mimeData()->hasText()) {
            enter->ignore();
            return true;
        }
        enter->setDropAction(Qt::MoveAction);
        enter->accept();
        dragEntered(*tool);
        return true;
    }
    case QEvent::DragMove: {
        auto *move = static_cast<QDragMoveEvent *>(event);
        if (!m_draggingPin) {
            move->ignore();
            return true;
        }
        move->setDropAction(Qt::MoveAction);
        move->accept();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!m_draggingPin) {
            drop->ignore();
            return true;
        }
        m_draggingPin.reset();
        drop->setDropAction(Qt::MoveAction);
        drop->accept();
        return true;
    }
    default: return QWidget::eventFilter(watched, event);
    }
}

bool Sidebar::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateFooterHeight();
        update();
    }
    return QWidget::event(event);
}

void Sidebar::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void Sidebar::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // After the show's pending layout passes, so the rows stand where they will be seen.
    QMetaObject::invokeMethod(this, &Sidebar::revealSelection, Qt::QueuedConnection);
}

void Sidebar::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Environment::color(this, ColorName::SurfaceSidebar));
}

} // namespace velmora
