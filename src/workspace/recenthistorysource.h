#pragma once

#include "library/history.h"
#include "workspace/workspacetool.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

namespace velmora {

// The History feed as the Recent section of a tool page reads it. The History feed (a higher
// layer) derives from it.
class RecentHistorySource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Grows whenever History changes; readers reload then.
    virtual qint64 revision() const = 0;
    // The matching finished entries of the tools (none: every tool; an empty set matches
    // nothing), newest first, at most limit; empty when History is unavailable or the read fails.
    virtual QCoro::Task<QList<HistoryEntry>> entries(std::optional<QSet<WorkspaceTool>> tools,
                                                     std::optional<QString> query, std::optional<int> limit) = 0;

signals:
    void revisionChanged();
};

} // namespace velmora
