// The advanced dialog's notation for a mapping byte: bare hexadecimal digits.
#pragma once

#include <QString>

#include <cstdint>

namespace keymap {

// Lower-case hexadecimal without prefix or leading zeros: 0, a, 7f, ff.
QString hexText(std::uint8_t byte);

// What a field of the advanced dialog accepts: one or two hexadecimal
// digits, which parseHexByte reads as they read.
inline const char hexBytePattern[] = "[0-9A-Fa-f]{1,2}";

// Reads one or two hexadecimal digits. Nothing is ever rejected: a character
// that is no digit counts as 0, and a text of any other length (empty,
// "0x1f", "100") reads as 0, so the result is always a byte value.
int parseHexByte(const QString &text);

} // namespace keymap
