// The actions a pen key can carry: what the editor's combo boxes list and the
// byte the receiver stores for each. A combo box index is an index into this
// table, so its order is the order the user sees and must not be sorted.
#pragma once

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace keymap {

struct KeyAction
{
    const char *name;
    std::uint8_t code;
};

// Keyboard codes are usage IDs of the HID Keyboard/Keypad page (modifiers
// 0xE0-0xE7 included); the others are the receiver's own: media functions,
// mouse buttons and the slide-show toggle.
constexpr KeyAction keyActions[] = {
    { "", 0x00 }, // no action: the state of every key of a blank mapping
    { "Shift+F5/Esc", 0xF5 },
    { "PageUp", 0x4B },
    { "PageDown", 0x4E },
    { "Tab", 0x2B },
    { "L_Ctrl", 0xE0 },
    { "R_Ctrl", 0xE4 },
    { "L_Shift", 0xE1 },
    { "R_Shift", 0xE5 },
    { "L_Alt", 0xE2 },
    { "R_Alt", 0xE6 },
    { "Home", 0x4A },
    { "End", 0x4D },
    { "L_Win", 0xE3 },
    { "R_Win", 0xE7 },
    { "Space", 0x2C },
    { "Backspace", 0x2A },
    { "Delete", 0x4C },
    { "+=", 0x2E },
    { "?/", 0x38 },
    { "Esc", 0x29 },
    { "Up", 0x52 },
    { "Down", 0x51 },
    { "Left", 0x50 },
    { "Right", 0x4F },
    { "F1", 0x3A },
    { "F2", 0x3B },
    { "F3", 0x3C },
    { "F4", 0x3D },
    { "F5", 0x3E },
    { "F6", 0x3F },
    { "F7", 0x40 },
    { "F8", 0x41 },
    { "F9", 0x42 },
    { "F10", 0x43 },
    { "F11", 0x44 },
    { "F12", 0x45 },
    { "F13", 0x68 },
    { "F14", 0x69 },
    { "F15", 0x6A },
    { "F16", 0x6B },
    { "F17", 0x6C },
    { "F18", 0x6D },
    { "F19", 0x6E },
    { "F20", 0x6F },
    { "F21", 0x70 },
    { "F22", 0x71 },
    { "F23", 0x72 },
    { "F24", 0x73 },
    { "A", 0x04 },
    { "B", 0x05 },
    { "C", 0x06 },
    { "D", 0x07 },
    { "E", 0x08 },
    { "F", 0x09 },
    { "G", 0x0A },
    { "H", 0x0B },
    { "I", 0x0C },
    { "J", 0x0D },
    { "K", 0x0E },
    { "L", 0x0F },
    { "M", 0x10 },
    { "N", 0x11 },
    { "O", 0x12 },
    { "P", 0x13 },
    { "Q", 0x14 },
    { "R", 0x15 },
    { "S", 0x16 },
    { "T", 0x17 },
    { "U", 0x18 },
    { "V", 0x19 },
    { "W", 0x1A },
    { "X", 0x1B },
    { "Y", 0x1C },
    { "Z", 0x1D },
    { "<", 0x36 }, // the comma key
    { ">", 0x37 }, // the period key
    { "Enter", 0x28 },
    { "Vol+", 0xC3 },
    { "Vol-", 0xBD },
    { "Mute", 0xCE },
    { "0", 0x27 }, // listed before 1-9 although its usage ID follows theirs
    { "1", 0x1E },
    { "2", 0x1F },
    { "3", 0x20 },
    { "4", 0x21 },
    { "5", 0x22 },
    { "6", 0x23 },
    { "7", 0x24 },
    { "8", 0x25 },
    { "9", 0x26 },
    { "MOUSE_L", 0xF3 },
    { "MOUSE_R", 0xF4 },
    { "NEXT_TRACK", 0xC8 },
    { "PREV_TRACK", 0xCD },
};

constexpr int keyActionCount = static_cast<int>(sizeof keyActions / sizeof keyActions[0]);
static_assert(keyActionCount == 95, "the receiver's vocabulary has 95 actions");
static_assert(keyActions[0].code == 0x00 && keyActions[0].name[0] == '\0', "entry 0 is the empty action");

namespace detail {
constexpr bool codesAreUnique()
{
    for (int i = 0; i < keyActionCount; ++i)
        for (int j = i + 1; j < keyActionCount; ++j)
            if (keyActions[i].code == keyActions[j].code)
                return false;
    return true;
}
} // namespace detail
// A read-back code must lead back to exactly one entry.
static_assert(detail::codesAreUnique(), "two actions share a code");

// The entry texts in index order, as every combo box lists them.
QStringList keyNames();

// The code of entry `index`, 0 to 94; any other index means no action.
std::uint8_t keyCode(int index);

// The entry that carries `code`, or none for a byte the vocabulary lacks.
std::optional<int> keyIndex(std::uint8_t code);

} // namespace keymap
