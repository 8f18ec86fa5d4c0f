#include "tools/translate/translateview.h"

#include "tools/translate/translatemodelreadiness.h"
#include "tools/translate/translatepanes.h"
#include "tools/translate/translatesession.h"
#include "ui/animation.h"
#include "ui/environment.h"
#include "ui/pagescaffold.h"
#include "ui/toolpageheader.h"
#include "ui/workspacepane.h"
#include "workspace/appnavigation.h"
#include "workspace/pinmenuitems.h"
#include "workspace/toolrecentsection.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace velmora {

TranslateView::TranslateView(Services services, QWidget *parent)
    : QWidget(parent), m_session(services.session), m_model(*services.model),
      m_bannerAnimation(new QVariantAnimation(this)) {
    Q_ASSERT(services.session && services.model && services.workspace.navigation && services.workspace.pins &&
             services.handoff);
    const WorkspaceTool tool = WorkspaceTool::Translate;
    m_header = new ToolPageHeader(
        toolSymbol(tool), [tool] { return toolName(tool); }, toolSummary(tool));
    QMenu *more = m_header->moreMenu();
    PinnedTools &pins = *services.workspace.pins;
    AppNavigation &navigation = *services.workspace.navigation;
    connect(more, &QMenu::aboutToShow, this, [more, tool, &pins, &navigation] {
        more->clear();
        PinMenuItems::addTo(more, tool, pins, navigation);
    });
    PinMenuItems::addTo(more, tool, pins, navigation);

    auto *workspace = new QWidget;
    auto *column = new QVBoxLayout(workspace);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    m_banner = new SetupBanner(bannerMessage(), bannerLink());
    connect(m_banner, &SetupBanner::linkActivated, this,
            [&navigation] { navigation.openSettings(SettingsCategory::Models); });
    m_panes = new TranslatePanes(*services.session, m_model, *services.handoff);
    column->addWidget(m_banner);
    column->addWidget(m_panes, 1);

    if (services.workspace.recent && services.workspace.cards)
        m_recent = new ToolRecentSection(tool, *services.workspace.recent, navigation, *services.workspace.cards);
    m_scaffold = new ToolPageScaffold(m_header, workspace, m_recent, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scaffold);

    connect(m_bannerAnimation, &QVariantAnimation::valueChanged, this, [this, column](const QVariant &value) {
        const qreal shown = value.toReal();
        const int full = m_banner->heightForWidth(std::max(1, m_panes->width()));
        m_banner->setMaximumHeight(int(full * shown));
        m_banner->setVisible(shown > 0);
        column->setSpacing(int(16 * shown));
    });
    connect(m_bannerAnimation, &QVariantAnimation::finished, this, [this] {
        if (m_bannerShown)
            m_banner->setMaximumHeight(QWIDGETSIZE_MAX);
    });
    connect(&m_model, &TranslateModelReadiness::changed, this, [this] { updateBanner(true); });
    updateBanner(false);
    rereadEnvironment();
}

void TranslateView::rereadEnvironment() {
    for (QWidget *child : findChildren<QWidget *>()) {
        QEvent changed(Environment::changeEventType());
        QCoreApplication::sendEvent(child, &changed);
    }
}

bool TranslateView::event(QEvent *event) {
    if (event->type() == QEvent::ParentChange)
        rereadEnvironment();
    return QWidget::event(event);
}

TranslateView::~TranslateView() {
    if (m_session)
        m_session->setVisible(false);
}

QString TranslateView::bannerMessage() {
    return QCoreApplication::translate("Translate", "Translate needs the writing model.",
                                       "Banner on the Translate page");
}

QString TranslateView::bannerLink() {
    return QCoreApplication::translate("Translate", "Download in Settings", "Banner link to Settings > Models");
}

void TranslateView::updateBanner(bool animated) {
    const bool shows = m_model.showsBanner();
    if (shows == m_bannerShown && animated)
        return;
    m_bannerShown = shows;
    m_bannerAnimation->stop();
    const qreal from = m_banner->isVisible() ? 1.0 : 0.0;
    m_bannerAnimation->setStartValue(animated ? from : (shows ? 0.0 : 1.0));
    m_bannerAnimation->setEndValue(shows ? 1.0 : 0.0);
    startReducibleAnimation(m_bannerAnimation,
                            animated && isVisible() ? std::optional(Animation::standard()) : std::nullopt, this);
    if (!animated) {
        m_banner->setVisible(shows);
        if (shows)
            m_banner->setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void TranslateView::retranslate() {
    m_header->setDescription(toolSummary(WorkspaceTool::Translate));
    m_banner->setMessage(bannerMessage());
    m_banner->setLink(bannerLink());
}

void TranslateView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void TranslateView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_session)
        m_session->setVisible(true);
}

void TranslateView::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    if (m_session)
        m_session->setVisible(false);
}

} // namespace velmora
