#pragma once

#include <QCoro/QCoroTask>
#include <QString>

namespace velmora {

// What the text hand-off asks of the Translate session, which implements it.
class TranslateHandoffTarget {
public:
    virtual ~TranslateHandoffTarget() = default;
    // Stops a running translation (recording its partial result), flushes pending History
    // edits, resets the source language to automatic detection, sets the text and, when start is
    // true, starts a run.
    virtual QCoro::Task<> receive(QString text, bool start) = 0;
};

} // namespace velmora
