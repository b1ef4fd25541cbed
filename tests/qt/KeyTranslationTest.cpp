#include "editor/Commands.h"
#include "platform/KeyTranslation.h"

#include <QKeyCombination>
#include <gtest/gtest.h>

using namespace vt;

namespace {

int combined(Qt::KeyboardModifiers modifiers, Qt::Key key)
{
    return QKeyCombination(modifiers, key).toCombined();
}

EditCommand qtKeyCommand(int qtKey)
{
    return keyCommand(qtKeyToVirtualKey(qtKey), 2);
}

EditCommand move(int32_t in, int32_t out)
{
    EditCommand c;
    c.op = EditOp::Move;
    c.moveTimeIn = in;
    c.moveTimeOut = out;
    return c;
}

}  // namespace

TEST(KeyTranslation, EveryKeyOfTheKeyTable)
{
    namespace VK = VirtualKey;
    const std::pair<Qt::Key, int32_t> keys[] = {
        {Qt::Key_Space, VK::Space}, {Qt::Key_PageUp, VK::PageUp}, {Qt::Key_PageDown, VK::PageDown},
        {Qt::Key_Left, VK::Left},   {Qt::Key_Up, VK::Up},         {Qt::Key_Right, VK::Right},
        {Qt::Key_Down, VK::Down},   {Qt::Key_Insert, VK::Insert}, {Qt::Key_Delete, VK::Delete},
        {Qt::Key_A, VK::A},         {Qt::Key_D, VK::D},           {Qt::Key_E, VK::E},
        {Qt::Key_F, VK::F},         {Qt::Key_G, VK::G},           {Qt::Key_R, VK::R},
        {Qt::Key_S, VK::S},         {Qt::Key_V, VK::V},           {Qt::Key_W, VK::W},
        {Qt::Key_X, VK::X},         {Qt::Key_C, VK::C},           {Qt::Key_T, VK::T},
        {Qt::Key_J, VK::J},         {Qt::Key_K, VK::K},           {Qt::Key_L, VK::L},
        {Qt::Key_B, VK::B},         {Qt::Key_N, VK::N},           {Qt::Key_M, VK::M},
    };
    for (auto [qtKey, virtualKey] : keys)
        EXPECT_EQ(qtKeyToVirtualKey(qtKey), virtualKey) << std::hex << qtKey;
    // the table reaches every key the editor binds
    for (const KeyBinding& binding : keyBindings())
        EXPECT_TRUE(std::any_of(std::begin(keys), std::end(keys),
                                [&](const auto& k) { return k.second == binding.key; }))
            << binding.key;
}

TEST(KeyTranslation, QtKeysIgnoreCaseAndModifiers)
{
    EXPECT_EQ(qtKeyToVirtualKey('a'), 65);
    EXPECT_EQ(qtKeyToVirtualKey(combined(Qt::ControlModifier, Qt::Key_G)), 71);
    EXPECT_EQ(qtKeyToVirtualKey(combined(Qt::KeypadModifier, Qt::Key_Left)), 37);
    EXPECT_EQ(qtKeyToVirtualKey(' '), 32);
    EXPECT_EQ(qtKeyToVirtualKey(Qt::Key_Escape), 0);
    EXPECT_EQ(qtKeyToVirtualKey(Qt::Key_Return), 0);

    EXPECT_EQ(qtKeyCommand(Qt::Key_PageUp), qtKeyCommand('w'));
    EXPECT_EQ(qtKeyCommand(Qt::Key_PageDown), qtKeyCommand(combined(Qt::ShiftModifier, Qt::Key_R)));
    EXPECT_EQ(qtKeyCommand(Qt::Key_Insert), qtKeyCommand('v'));
    EXPECT_EQ(qtKeyCommand(Qt::Key_Delete), qtKeyCommand(combined(Qt::ControlModifier, Qt::Key_X)));
    EXPECT_EQ(qtKeyCommand(Qt::Key_Down), move(0, -2));
}
