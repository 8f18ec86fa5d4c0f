#pragma once

// The bare tap of the fn/Globe key (Right Ctrl on a PC keyboard): the key goes down with no
// other modifier held, no other modifier joins, no other key goes down anywhere, and it comes
// up again, however long that took.

#include <QtGlobal>

namespace velmora {

struct GlobeTapState {
    bool isDown = false;
    bool isBare = false;
    // The count of key downs when the key went down.
    quint32 keyDownsAtPress = 0;

    // One change of the held modifiers (KeyChord's flag bits), with the key-down count read
    // before it; true when it ends a bare tap.
    bool flagsChanged(quint64 flags, quint32 keyDowns);
    void reset() { *this = {}; }
    bool operator==(const GlobeTapState &) const = default;
};

} // namespace velmora
