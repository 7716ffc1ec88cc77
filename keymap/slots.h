// Which widget edits which mapping slot. The main window's combo boxes and
// the advanced dialog's fields carry numbers that follow the form's history,
// not the slot order, so this table is the one place that ties a box number
// (combox_N, slot onKeyN) and a field number (lineEdit_N) to mapping slot
// 0..47 and, through the slot, to its byte in the mapping image.
#pragma once

#include <QString>

#include <optional>

namespace keymap {

// One row of the editor grid: the click or the long press of one key, with
// its four columns from left to right.
struct KeyRow
{
    int key; // 1..6
    bool longPress;
    const char *labelName; // the row label in the main window
    const char *labelText; // UTF-8
    int boxes[4]; // combox_N
    int fields[4]; // lineEdit_N in the advanced dialog
};

// In slot order: row r, column c edits slot 4 * r + c.
constexpr KeyRow keyRows[] = {
    { 1, false, "label", "单击Key1:", { 1, 2, 21, 22 }, { 1, 2, 3, 4 } },
    { 1, true, "label_23", "长按Key1:", { 11, 12, 31, 32 }, { 5, 6, 7, 8 } },
    { 2, false, "label_2", "单击Key2:", { 3, 4, 23, 24 }, { 9, 10, 11, 12 } },
    { 2, true, "label_21", "长按Key2:", { 13, 14, 33, 34 }, { 13, 14, 15, 16 } },
    { 3, false, "label_3", "单击Key3:", { 5, 6, 25, 26 }, { 17, 18, 19, 20 } },
    { 3, true, "label_19", "长按Key3:", { 15, 16, 35, 36 }, { 21, 22, 23, 24 } },
    { 4, false, "label_4", "单击Key4:", { 7, 8, 27, 28 }, { 25, 26, 27, 28 } },
    { 4, true, "label_24", "长按Key4:", { 17, 18, 37, 38 }, { 29, 30, 31, 32 } },
    { 5, false, "label_5", "单击Key5:", { 51, 52, 53, 54 }, { 51, 52, 53, 54 } },
    { 5, true, "label_25", "长按Key5:", { 55, 56, 57, 58 }, { 55, 56, 57, 58 } },
    { 6, false, "label_6", "单击Key6:", { 61, 62, 63, 64 }, { 61, 62, 63, 64 } },
    { 6, true, "label_26", "长按Key6:", { 65, 66, 67, 68 }, { 65, 66, 67, 68 } },
};

constexpr int columnCount = 4;
constexpr int rowCount = static_cast<int>(sizeof keyRows / sizeof keyRows[0]);
constexpr int slotCount = rowCount * columnCount;
static_assert(slotCount == 48, "six keys, a click and a long press each, four columns");

namespace detail {
constexpr int boxAt(int slot)
{
    return keyRows[slot / columnCount].boxes[slot % columnCount];
}
constexpr int fieldAt(int slot)
{
    return keyRows[slot / columnCount].fields[slot % columnCount];
}
constexpr bool numbersAreUnique()
{
    for (int a = 0; a < slotCount; ++a)
        for (int b = a + 1; b < slotCount; ++b)
            if (boxAt(a) == boxAt(b) || fieldAt(a) == fieldAt(b))
                return false;
    return true;
}
} // namespace detail
// Two widgets on one slot would fight over its byte.
static_assert(detail::numbersAreUnique(), "a box or field number is used twice");

// The number N of combox_N and onKeyN for a slot, and back; a number that
// names no box has no slot.
int boxNumber(int slot);
std::optional<int> slotOfBox(int boxNumber);

// Object names of the slot's combo box and advanced-dialog field.
QString boxName(int slot);
QString fieldName(int slot);

// The slot's byte in the 64-byte mapping image.
int imageByte(int slot);

} // namespace keymap
