#include "app/updater.h"

namespace velmora {

QString Updater::buildSwitch() {
#ifdef VELMORA_UPDATER_ENABLED
    return QStringLiteral(VELMORA_UPDATER_ENABLED);
#else
    return QString();
#endif
}

Updater::Updater(QString switchValue, ControllerFactory factory, QObject *parent) : QObject(parent) {
    if (switchValue != QLatin1String("YES") || !factory)
        return;
    m_controller = factory();
    if (!m_controller)
        return;
    connect(m_controller.get(), &UpdateController::canCheckForUpdatesChanged, this, &Updater::mirror);
    connect(m_controller.get(), &UpdateController::automaticallyChecksForUpdatesChanged, this, &Updater::mirror);
    mirror();
}

Updater::~Updater() = default;

void Updater::mirror() {
    const bool can = m_controller->canCheckForUpdates();
    const bool automatic = m_controller->automaticallyChecksForUpdates();
    if (can == m_canCheckForUpdates && automatic == m_automaticallyChecksForUpdates)
        return;
    m_canCheckForUpdates = can;
    m_automaticallyChecksForUpdates = automatic;
    emit changed();
}

void Updater::checkForUpdates() {
    if (m_canCheckForUpdates && m_controller)
        m_controller->checkForUpdates();
}

void Updater::setAutomaticallyChecksForUpdates(bool on) {
    if (m_controller)
        m_controller->setAutomaticallyChecksForUpdates(on);
}

} // namespace velmora
