#include "workspace/textmodelreadiness.h"

#include "models/modelstore.h"

namespace velmora {

bool ModelStoreReadiness::isReady() {
    return m_store.readyFileURLs().has_value();
}

} // namespace velmora
