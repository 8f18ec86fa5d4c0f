#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace velmora {

// A software-update framework, as the updater drives it.
class UpdateController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool canCheckForUpdates() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual void checkForUpdates() = 0;

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
};

// The software-update switch. The build decides whether an updater is used at all: only the
// exact value "YES" of the switch turns it on (and then only with a framework to drive). No
// build we ship enables it: the menu items stay visible and disabled.
class Updater : public QObject {
    Q_OBJECT
public:
    using ControllerFactory = std::function<std::unique_ptr<UpdateController>()>;

    // The switch as this build was made (the VELMORA_UPDATER_ENABLED build option).
    static QString buildSwitch();

    explicit Updater(QString switchValue = buildSwitch(), ControllerFactory factory = {}, QObject *parent = nullptr);
    ~Updater() override;

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecksForUpdates; }
    bool hasController() const { return bool(m_controller); }

    // Starts a check when the framework says one may start now.
    void checkForUpdates();
    // The framework's own setting; the mirror follows what it reports back.
    void setAutomaticallyChecksForUpdates(bool on);

signals:
    void changed();

private:
    void mirror();

    bool m_canCheckForUpdates = false;
    bool m_automaticallyChecksForUpdates = false;
    std::unique_ptr<UpdateController> m_controller;
};

} // namespace velmora
