// Qt's key values turned into the virtual-key codes the editor's key table is
// written in (the numbering of the Windows virtual keys: Space 32, Page Up 33,
// the letters as their upper-case ASCII codes ...).
#pragma once

#include <cstdint>

namespace vt {

// The virtual-key code of a Qt key value (QKeyEvent::key(), or a key
// combination with its modifier bits); 0 for a key the editor does not use.
// Case and modifiers make no difference: Shift+G, Ctrl+G and a lower-case
// 'g' taken from a key's text are all G.
int32_t qtKeyToVirtualKey(int qtKey);

// The Ctrl and Shift keys held with a Qt key combination.
struct KeyModifiers {
    bool ctrl = false;
    bool shift = false;
};
KeyModifiers keyModifiersOf(int qtKey);

}  // namespace vt
