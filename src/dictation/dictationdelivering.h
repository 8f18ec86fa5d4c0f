#pragma once

#include "core/cancellationtoken.h"

#include <QString>

#include <functional>

namespace velmora {

// How the dictation coordinator gets text into the frontmost program.
class DictationDelivering {
public:
    virtual ~DictationDelivering() = default;
    // Pastes the text where the cursor is. True when it reached the program (the paste chord
    // was posted and the text was read, or the program replaced the clipboard while reading);
    // false when nothing was pasted. isCurrent is asked between steps; once it answers false,
    // or the token is cancelled, the delivery gives up.
    virtual QCoro::Task<bool> deliver(QString text, std::function<bool()> isCurrent, CancellationToken token) = 0;
    // Puts the text on the clipboard as an ordinary copy; a delivery in progress gives up.
    virtual void copy(const QString &text) = 0;
};

} // namespace velmora
