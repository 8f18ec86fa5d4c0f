#include "platform/microphoneaccess.h"

namespace velmora {

void LinuxMicrophoneAccess::request(std::function<void(bool)> done) {
    // Nothing to ask: every process may open the input devices the sound server offers.
    if (done)
        done(true);
}

} // namespace velmora
