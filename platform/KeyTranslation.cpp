#include "platform/KeyTranslation.h"

#include <Qt>

#include <iterator>

namespace vt {

namespace {

struct NamedKey {
    Qt::Key qtKey;
    int32_t virtualKey;
};

// The keys without a character of their own that the editor reads.
constexpr NamedKey NamedKeys[] = {
    {Qt::Key_Space, 32},     // VK_SPACE
    {Qt::Key_PageUp, 33},    // VK_PRIOR
    {Qt::Key_PageDown, 34},  // VK_NEXT
    {Qt::Key_Left, 37},      // VK_LEFT
    {Qt::Key_Up, 38},        // VK_UP
    {Qt::Key_Right, 39},     // VK_RIGHT
    {Qt::Key_Down, 40},      // VK_DOWN
    {Qt::Key_Insert, 45},    // VK_INSERT
    {Qt::Key_Delete, 46},    // VK_DELETE
};

}  // namespace

int32_t qtKeyToVirtualKey(int qtKey)
{
    const int key = qtKey & ~int(Qt::KeyboardModifierMask);
    // digits and letters share their codes with Qt's
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;
    // Qt reports letters in upper case; a lower-case code (from a key's
    // text) is the same key
    if (key >= 'a' && key <= 'z')
        return key - 'a' + Qt::Key_A;
    for (const NamedKey& k : NamedKeys)
        if (k.qtKey == key)
            return k.virtualKey;
    return 0;
}

KeyModifiers keyModifiersOf(int qtKey)
{
    return {(qtKey & Qt::ControlModifier) != 0, (qtKey & Qt::ShiftModifier) != 0};
}

}  // namespace vt
