#pragma once

#include "core/promise.h"
#include "dictation/dictationdelivering.h"

#include <QStringList>

#include <optional>

namespace velmora {

// A delivery that pastes nowhere: it records every text, answers with `result` while the run is
// current, and can be held until release() (or until its token is cancelled), as a slow paste.
class FakeDictationDelivery : public DictationDelivering {
public:
    ~FakeDictationDelivery() override { release(); }

    QCoro::Task<bool> deliver(QString text, std::function<bool()> isCurrent, CancellationToken token) override;
    void copy(const QString &text) override {
        ++copyRevision;
        copies.append(text);
    }

    // Lets a held delivery finish.
    void release();

    QStringList delivered;
    QStringList copies;
    qint64 copyRevision = 0;
    bool result = true;
    bool hold = false;
    // Whether the delivery waiting now saw its token cancelled.
    bool sawCancel = false;
    bool isWaiting() const { return m_waiting.has_value(); }

private:
    std::optional<Promise<bool>> m_waiting;
};

} // namespace velmora
