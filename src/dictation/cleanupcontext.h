#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// What transcript cleanup is told about the speaker: their field of work as a phrase, the
// cleaned description of their work, and their terms, newest first.
struct CleanupContext {
    std::optional<QString> field;
    std::optional<QString> about;
    QStringList vocabulary;

    bool operator==(const CleanupContext &) const = default;
};

} // namespace velmora
