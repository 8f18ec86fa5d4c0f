#include "workspace/titlebarcontrols.h"

#include "ui/button.h"
#include "ui/environment.h"
#include "workspace/appnavigation.h"
#include "workspace/navigationcommands.h"
#include "workspace/pagefactory.h"

#include <QCoreApplication>
#include <QEvent>

namespace velmora {

TitleBarControls::TitleBarControls(AppNavigation &navigation, PageFactory *factory, QWidget *parent)
    : QWidget(parent), m_navigation(navigation), m_factory(factory),
      m_sidebar(new Button(QString(), QStringLiteral("sidebar.left"), IconButtonStyle{}, this)),
      m_back(new Button(QString(), QStringLiteral("chevron.backward"), IconButtonStyle{}, this)),
      m_forward(new Button(QString(), QStringLiteral("chevron.forward"), IconButtonStyle{}, this)) {
    for (Button *button : {m_sidebar, m_back, m_forward})
        button->setFocusPolicy(Qt::NoFocus);
    connect(m_sidebar, &QAbstractButton::clicked, this, [this] { m_navigation.toggleSidebar(); });
    connect(m_back, &QAbstractButton::clicked, this, [this] { m_navigation.goBack(); });
    connect(m_forward, &QAbstractButton::clicked, this, [this] { m_navigation.goForward(); });

    for (auto signal : {&AppNavigation::sidebarHiddenChanged, &AppNavigation::sidebarFitsChanged,
                        &AppNavigation::listFitsChanged, &AppNavigation::slideOverChanged,
                        &AppNavigation::noteListHiddenChanged, &AppNavigation::historyListHiddenChanged}) {
        connect(&navigation, signal, this, [this] {
            relayout();
            retranslate();
        });
    }
    connect(&navigation, &AppNavigation::historyChanged, this, &TitleBarControls::updateEnabled);
    connect(&navigation, &AppNavigation::pageChanged, this, &TitleBarControls::updateListToggle);
    retranslate();
    updateEnabled();
    updateListToggle();
}

QString TitleBarControls::sidebarTitle(const AppNavigation &navigation) {
    return navigation.sidebarVisible()
               ? QCoreApplication::translate("Workspace", "Hide Sidebar", "Menu item and button: hide the sidebar")
               : QCoreApplication::translate("Workspace", "Show Sidebar", "Menu item and button: show the sidebar");
}

QString TitleBarControls::listTitle(const AppNavigation &navigation) {
    const bool visible = navigation.listVisible();
    if (navigation.page() == WorkspacePage::history())
        return visible ? QCoreApplication::translate("Workspace", "Hide History List",
                                                     "Menu item and button: hide the History list")
                       : QCoreApplication::translate("Workspace", "Show History List",
                                                     "Menu item and button: show the History list");
    return visible ? QCoreApplication::translate("Notes", "Hide Note List", "Menu item and button: hide the note list")
                   : QCoreApplication::translate("Notes", "Show Note List", "Menu item and button: show the note list");
}

TitleBarControls::Positions TitleBarControls::positions(const AppNavigation &navigation, TextSize size) {
    const int b = int(scaled(size, 24, 4));
    const bool sidebarShown = !navigation.sidebarHidden() && navigation.sidebarFits();
    const bool listShown = !navigation.listHidden() && navigation.listFits();
    Positions p{};
    p.buttonSize = b;
    p.sidebarToggle = sidebarShown ? 228 - b : 84;
    p.back = sidebarShown ? 253 : 84 + b + 4;
    p.forward = p.back + b + 4;
    if (listShown)
        p.listToggle = sidebarShown ? 549 - b : 308 - b;
    else
        p.listToggle = p.back + 2 * b + 8;
    return p;
}

void TitleBarControls::relayout() {
    const Positions p = positions(m_navigation, Environment::textSize(this));
    const int y = kTopInset;
    m_sidebar->setGeometry(p.sidebarToggle, y, p.buttonSize, p.buttonSize);
    m_back->setGeometry(p.back, y, p.buttonSize, p.buttonSize);
    m_forward->setGeometry(p.forward, y, p.buttonSize, p.buttonSize);
    QRegion mask;
    for (QWidget *button :
         {static_cast<QWidget *>(m_sidebar), static_cast<QWidget *>(m_back), static_cast<QWidget *>(m_forward)})
        mask += button->geometry();
    if (m_listToggle) {
        const QSize hint = m_listToggle->sizeHint();
        m_listToggle->setGeometry(p.listToggle, y, qMax(hint.width(), p.buttonSize), p.buttonSize);
        mask += m_listToggle->geometry();
    }
    setFixedHeight(y + p.buttonSize);
    // Only the buttons take the pointer: the band lets clicks through to what lies below.
    setMask(mask);
}

void TitleBarControls::retranslate() {
    m_sidebar->setText(sidebarTitle(m_navigation));
    m_back->setText(NavigationCommands::backTitle());
    m_forward->setText(NavigationCommands::forwardTitle());
}

void TitleBarControls::updateEnabled() {
    m_back->setEnabled(!m_navigation.history().backSteps().isEmpty());
    m_forward->setEnabled(!m_navigation.history().forwardSteps().isEmpty());
}

void TitleBarControls::updateListToggle() {
    delete m_listToggle;
    const WorkspacePage page = m_navigation.page();
    if (m_factory && (page == WorkspacePage::notes() || page == WorkspacePage::history())) {
        m_listToggle = m_factory->createListToggle(page, this);
        if (m_listToggle)
            m_listToggle->show();
    }
    relayout();
}

bool TitleBarControls::event(QEvent *event) {
    if (Environment::isChange(event))
        relayout();
    return QWidget::event(event);
}

void TitleBarControls::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void TitleBarControls::resizeEvent(QResizeEvent *event) {
    relayout();
    QWidget::resizeEvent(event);
}

} // namespace velmora
