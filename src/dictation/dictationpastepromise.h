#pragma once

// The clipboard contents of one paste: the text is handed over only when a program asks for it,
// and every request after the paste chord is time-stamped, which tells the delivery that the
// paste happened and when it is safe to put the old contents back.

#include "core/continuousclock.h"

#include <QMimeData>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace velmora {

class DictationPastePromise : public std::enable_shared_from_this<DictationPastePromise> {
public:
    using Instant = ContinuousClock::time_point;

    // The markers clipboard tools read (transient, concealed, auto-generated), in this order.
    static const QStringList &markerTypes();
    // KDE's password-manager hint, which Linux clipboard managers honour as "concealed".
    static constexpr const char *kPasswordManagerHint = "x-kde-passwordManagerHint";
    static constexpr const char *kTextType = "text/plain";

    explicit DictationPastePromise(QString text) : m_text(std::move(text)) {}

    const QString &text() const { return m_text; }
    std::optional<Instant> injectedAt() const { return m_injectedAt; }
    void setInjectedAt(Instant instant) { m_injectedAt = instant; }
    std::optional<Instant> lastRead() const { return m_lastRead; }

    // Records a read; reads before the chord (a clipboard tool reacting to the change) are no
    // paste and leave lastRead unset.
    void noteRead();
    // What a reading program gets for a type: the read is noted, then the text is handed over.
    QByteArray provideData();

    // New clipboard contents promising the text: plain text first, supplied afresh on every
    // read, then the three markers with empty data and the password-manager hint "secret".
    // Create the promise with std::make_shared.
    std::unique_ptr<QMimeData> makeContents();

private:
    QString m_text;
    std::optional<Instant> m_injectedAt;
    std::optional<Instant> m_lastRead;
};

} // namespace velmora
