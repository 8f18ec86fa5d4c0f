#include "workspace/navigationhistory.h"

namespace velmora {

void NavigationHistory::push(const NavigationStep &step) {
    m_back.append(step);
    if (m_back.size() > kMaxBackSteps)
        m_back.remove(0, m_back.size() - kMaxBackSteps);
    m_forward.clear();
}

std::optional<NavigationStep> NavigationHistory::back(const NavigationStep &current, const NoteExists &noteExists) {
    return walk(m_back, m_forward, current, noteExists);
}

std::optional<NavigationStep> NavigationHistory::forward(const NavigationStep &current, const NoteExists &noteExists) {
    return walk(m_forward, m_back, current, noteExists);
}

std::optional<NavigationStep> NavigationHistory::walk(QList<NavigationStep> &from, QList<NavigationStep> &to,
                                                      const NavigationStep &current, const NoteExists &noteExists) {
    while (!from.isEmpty()) {
        NavigationStep step = from.takeLast();
        if (step == current)
            continue;
        // History steps are not checked here: a deleted entry's steps are forgotten when it goes.
        if (step.page == WorkspacePage::notes() && step.item && !(noteExists && noteExists(*step.item)))
            continue;
        to.append(current);
        return step;
    }
    return std::nullopt;
}

QList<NavigationStep> NavigationHistory::merged(const QList<NavigationStep> &steps) {
    QList<NavigationStep> result;
    for (const NavigationStep &step : steps) {
        if (!result.isEmpty() && result.last() == step)
            continue;
        result.append(step);
    }
    return result;
}

void NavigationHistory::forgetHistoryEntry(const QUuid &entry) {
    const auto isEntry = [&](const NavigationStep &step) {
        return step.page == WorkspacePage::history() && step.item == entry;
    };
    m_back.removeIf(isEntry);
    m_back = merged(m_back);
    m_forward.removeIf(isEntry);
    m_forward = merged(m_forward);
}

} // namespace velmora
