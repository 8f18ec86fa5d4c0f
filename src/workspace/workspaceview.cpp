#include "workspace/workspaceview.h"

#include "ui/animation.h"
#include "ui/environment.h"
#include "ui/pagescaffold.h"
#include "ui/styledlabel.h"
#include "ui/typography.h"
#include "workspace/appnavigation.h"
#include "workspace/pagefactory.h"
#include "workspace/sidebar.h"
#include "workspace/slideoverpanel.h"
#include "workspace/titlebarcontrols.h"
#include "workspace/toolplaceholderview.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace velmora {

namespace {

// A filled rectangle in a named colour (the rule beside the sidebar, the page's background).
class Fill : public QWidget {
public:
    Fill(ColorName color, QWidget *parent) : QWidget(parent), m_color(color) {}

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Environment::color(this, m_color)); }

private:
    ColorName m_color;
};

// A page whose view is not there yet: its title alone.
class PagePlaceholder : public QWidget {
public:
    PagePlaceholder(const WorkspacePage &page, QWidget *parent) : QWidget(parent), m_page(page) {
        m_title = new StyledLabel(page.title(), Typography::Title);
        m_title->setHeading(true);
        auto *scaffold = new PageScaffold(24, 32, this);
        scaffold->setHeader(m_title);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(scaffold);
    }

protected:
    void changeEvent(QEvent *event) override {
        if (event->type() == QEvent::LanguageChange)
            m_title->setText(m_page.title());
        QWidget::changeEvent(event);
    }

private:
    WorkspacePage m_page;
    StyledLabel *m_title;
};

} // namespace

WorkspaceView::WorkspaceView(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults, PageFactory *factory,
                             SettingsAttention *attention, QWidget *parent)
    : QWidget(parent), m_navigation(navigation), m_pins(pins), m_factory(factory),
      m_sidebar(new Sidebar(navigation, pins, defaults, attention, this)),
      m_rule(new Fill(ColorName::LineHairline, this)), m_pageArea(new Fill(ColorName::SurfaceContent, this)),
      m_panel(new SlideOverPanel(new Sidebar(navigation, pins, defaults, attention), Sidebar::kWidth, this)),
      m_titleBar(new TitleBarControls(navigation, factory, this)), m_columnAnimation(new QVariantAnimation(this)) {
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    connect(m_columnAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_column = value.toReal();
        relayout();
    });
    connect(m_panel, &SlideOverPanel::dismissRequested, this, [this] { m_navigation.closeSlideOver(); });
    connect(&navigation, &AppNavigation::pageChanged, this, [this] {
        showPage();
        updateTitle();
    });
    // A column the user hides or shows slides; one that stops fitting during a resize just goes.
    connect(&navigation, &AppNavigation::sidebarHiddenChanged, this, [this] { updateColumn(true); });
    connect(&navigation, &AppNavigation::sidebarFitsChanged, this, [this] { updateColumn(false); });
    connect(&navigation, &AppNavigation::slideOverChanged, this, [this] {
        m_panel->setPresented(m_navigation.slideOver() == SlidingPanel::Sidebar);
        relayout(); // the title-bar controls stay above the panel
    });

    m_column = !navigation.sidebarHidden() && navigation.sidebarFits() ? 1.0 : 0.0;
    m_panel->setPresented(navigation.slideOver() == SlidingPanel::Sidebar);
    showPage();
    updateTextSize();
    relayout();
}

WorkspaceView::~WorkspaceView() = default;

Sidebar *WorkspaceView::slidingSidebar() const {
    return static_cast<Sidebar *>(m_panel->content());
}

void WorkspaceView::setOverlay(QWidget *overlay) {
    delete m_overlay;
    m_overlay = overlay;
    if (overlay) {
        overlay->setParent(this);
        overlay->setGeometry(rect());
        overlay->raise();
        overlay->show();
    }
}

int WorkspaceView::topInset(TextSize size) {
    const int body = bodyPointSize(size);
    const double n = std::round(body * 32.0 / 13.0 / 4.0);
    const double band = size == TextSize::Standard ? 80 : 2 * n + 64;
    const QFontMetricsF a(fontFor(Typography::Body, size));
    const QFontMetricsF b(fontFor(Typography::Title, size));
    const double inset = band - (a.ascent() + a.descent() + a.leading()) / 2 + a.ascent() - 32 - b.ascent();
    return int(roundHalfAway(inset));
}

int WorkspaceView::sidebarColumnWidth() const {
    return int(std::lround(m_column * AppNavigation::kSidebarColumn));
}

QWidget *WorkspaceView::createPage(const WorkspacePage &page) {
    QWidget *view = m_factory ? m_factory->createPage(page, m_pageArea) : nullptr;
    if (view)
        return view;
    if (auto tool = page.workspaceTool())
        return new ToolPlaceholderView(*tool, m_pins, m_navigation, m_pageArea);
    return new PagePlaceholder(page, m_pageArea);
}

void WorkspaceView::showPage() {
    // Each page is a view of its own: what a page keeps across visits lives in its service.
    delete m_page;
    m_page = createPage(m_navigation.page());
    m_page->setParent(m_pageArea);
    m_page->show();
    relayout();
}

void WorkspaceView::updateColumn(bool animated) {
    const qreal target = !m_navigation.sidebarHidden() && m_navigation.sidebarFits() ? 1.0 : 0.0;
    m_columnAnimation->stop();
    m_columnAnimation->setStartValue(m_column);
    m_columnAnimation->setEndValue(target);
    startReducibleAnimation(m_columnAnimation, animated ? std::optional(Animation::standard()) : std::nullopt, this);
}

void WorkspaceView::updateTitle() {
    if (QWidget *w = window())
        w->setWindowTitle(m_navigation.page().title());
}

void WorkspaceView::updateTextSize() {
    m_navigation.setTextBodySize(bodyPointSize(Environment::textSize(this)));
    m_navigation.updateLayout();
    relayout();
}

void WorkspaceView::relayout() {
    const int w = width();
    const int h = height();
    const int column = sidebarColumnWidth();
    m_sidebar->setGeometry(column - AppNavigation::kSidebarColumn, 0, Sidebar::kWidth, h);
    m_sidebar->setVisible(column > 0);
    m_rule->setGeometry(column - 1, 0, 1, h);
    m_rule->setVisible(column > 0);
    m_pageArea->setGeometry(column, 0, w - column, h);
    if (m_page) {
        const bool full = m_factory && m_factory->extendsUnderTitleBar(m_navigation.page());
        const int inset = full ? 0 : topInset(Environment::textSize(this));
        m_page->setGeometry(0, inset, m_pageArea->width(), qMax(0, h - inset));
    }
    m_panel->setGeometry(rect());
    m_titleBar->setGeometry(0, 0, w, m_titleBar->height());
    m_titleBar->raise();
    if (m_overlay) {
        m_overlay->setGeometry(rect());
        m_overlay->raise();
    }
}

bool WorkspaceView::event(QEvent *event) {
    if (Environment::isChange(event))
        updateTextSize();
    return QWidget::event(event);
}

void WorkspaceView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        updateTitle();
    QWidget::changeEvent(event);
}

void WorkspaceView::resizeEvent(QResizeEvent *event) {
    m_navigation.setWindowWidth(width());
    m_navigation.updateLayout();
    relayout();
    QWidget::resizeEvent(event);
}

void WorkspaceView::showEvent(QShowEvent *event) {
    m_navigation.installMouseButtons();
    updateTitle();
    updateTextSize();
    QWidget::showEvent(event);
}

void WorkspaceView::paintEvent(QPaintEvent *) {
    QPainter(this).fillRect(rect(), Environment::color(this, ColorName::SurfaceContent));
}

} // namespace velmora
