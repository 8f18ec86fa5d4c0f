#include "speech/speechpermissions.h"

#include "core/defaults.h"
#include "core/promise.h"
#include "platform/accessibilitytrust.h"
#include "platform/settingspanes.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUrl>

namespace velmora {

namespace {
const QString kPromptedKey = QStringLiteral("accessibilityPrompted");
// The anchor must form a settings address, as the pane is named by one.
const QString kPaneAddress = QStringLiteral("settings:privacy?");
} // namespace

SpeechPermissions::SpeechPermissions(Defaults &defaults, MicrophoneAccess &microphone, AccessibilityTrust &trust,
                                     SettingsPanes &panes, QObject *parent)
    : QObject(parent), m_defaults(defaults), m_microphoneAccess(microphone), m_trust(trust), m_panes(panes) {}

void SpeechPermissions::refresh() {
    const MicrophoneStatus status = m_microphoneAccess.status();
    const bool trusted = m_trust.isTrusted(false);
    if (status != m_microphone) {
        m_microphone = status;
        emit microphoneChanged();
    }
    if (trusted != m_accessibility) {
        m_accessibility = trusted;
        emit accessibilityChanged();
    }
}

void SpeechPermissions::setRequestingMicrophone(bool on) {
    if (on == m_requestingMicrophone)
        return;
    m_requestingMicrophone = on;
    emit requestingMicrophoneChanged();
}

QCoro::Task<> SpeechPermissions::requestMicrophone() {
    if (m_requestingMicrophone)
        co_return;
    refresh();
    if (m_microphone != MicrophoneStatus::NotDetermined) {
        openSettings(QString::fromLatin1(kMicrophonePane));
        co_return;
    }
    setRequestingMicrophone(true);
    Promise<void> answered;
    m_microphoneAccess.request([answered](bool) mutable {
        // The answer may come on any thread; the state is only touched on the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [answered]() mutable { answered.resolve(); }, Qt::QueuedConnection);
    });
    QPointer<SpeechPermissions> self(this);
    co_await answered;
    if (!self)
        co_return;
    setRequestingMicrophone(false);
    refresh();
}

void SpeechPermissions::requestAccessibility() {
    if (m_defaults.boolValue(kPromptedKey, false)) {
        openSettings(QString::fromLatin1(kAccessibilityPane));
    } else {
        m_defaults.setBool(kPromptedKey, true);
        m_trust.isTrusted(true);
    }
    refresh();
}

void SpeechPermissions::openSettings(const QString &anchor) {
    const QUrl url(kPaneAddress + anchor, QUrl::StrictMode);
    if (anchor.isEmpty() || !url.isValid())
        return;
    m_panes.openPrivacyPane(anchor);
}

void SpeechPermissions::startMonitoring(std::function<void(bool)> onAccessibility) {
    if (m_monitor)
        return;
    m_onAccessibility = std::move(onAccessibility);
    refresh();
    if (m_onAccessibility)
        m_onAccessibility(m_accessibility);
    m_monitor = std::make_unique<QTimer>();
    m_monitor->setInterval(kPollIntervalMs);
    // A coarse timer may fire a little late, which the poll tolerates.
    m_monitor->setTimerType(Qt::CoarseTimer);
    QPointer<SpeechPermissions> self(this);
    connect(m_monitor.get(), &QTimer::timeout, this, [self] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self)
                    self->tick();
            },
            Qt::QueuedConnection);
    });
    m_monitor->start();
}

void SpeechPermissions::tick() {
    refresh();
    if (m_onAccessibility)
        m_onAccessibility(m_accessibility);
}

} // namespace velmora
