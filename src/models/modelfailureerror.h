#pragma once

#include "core/error.h"

#include <QString>

namespace velmora {

// The failure of a model download or check; the user texts are LocalModels::message's.
enum class ModelFailure { Network, Server, Unavailable, InvalidResponse, Checksum, Space, FileSystem };

// "network", "server", … as log lines and state descriptions show it.
QString toString(ModelFailure failure);

// The one error the local models throw of their own; log lines read "Velmora.ModelFailure 3".
class ModelFailureError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.ModelFailure";
    explicit ModelFailureError(ModelFailure kind);
    ModelFailure kind() const { return m_kind; }

private:
    ModelFailure m_kind;
};

} // namespace velmora
