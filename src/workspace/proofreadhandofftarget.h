#pragma once

#include <QString>

namespace velmora {

// What the text hand-off asks of the Proofread session, which implements it.
class ProofreadHandoffTarget {
public:
    virtual ~ProofreadHandoffTarget() = default;
    // Flushes the pending History edit, resets the session, sets the text and, when check is
    // true, starts a check.
    virtual void receive(const QString &text, bool check) = 0;
};

} // namespace velmora
