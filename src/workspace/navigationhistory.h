#pragma once

#include "workspace/navigationstep.h"

#include <QList>
#include <QUuid>

#include <functional>

namespace velmora {

// The back and forward lists of the main window: the places behind and ahead of the current
// one (the last element of each is the next candidate). The current place is never stored.
class NavigationHistory {
public:
    static constexpr int kMaxBackSteps = 50;
    // Whether a note still exists among all loaded notes (whatever the notes search shows).
    using NoteExists = std::function<bool(const QUuid &)>;

    const QList<NavigationStep> &backSteps() const { return m_back; }
    const QList<NavigationStep> &forwardSteps() const { return m_forward; }

    // Records the place being left: keeps the newest 50 back steps and empties the forward list.
    void push(const NavigationStep &step);
    // Takes the step to go back to, skipping (and dropping) steps equal to the current place and
    // steps of deleted notes; the current place moves to the forward list. None when no step is
    // left.
    std::optional<NavigationStep> back(const NavigationStep &current, const NoteExists &noteExists);
    std::optional<NavigationStep> forward(const NavigationStep &current, const NoteExists &noteExists);

    // The list without runs of equal neighbours (the first of each run is kept).
    static QList<NavigationStep> merged(const QList<NavigationStep> &steps);

    // Removes every History step of an entry, then merges both lists.
    void forgetHistoryEntry(const QUuid &entry);

private:
    static std::optional<NavigationStep> walk(QList<NavigationStep> &from, QList<NavigationStep> &to,
                                              const NavigationStep &current, const NoteExists &noteExists);

    QList<NavigationStep> m_back;
    QList<NavigationStep> m_forward;
};

} // namespace velmora
