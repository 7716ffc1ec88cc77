// The advanced dialog's fields take whatever is typed or pasted. Inputs of
// odd length are read as UTF-8, even ones as UTF-16, so both broken encodings
// and characters outside Latin-1 come by.
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "keymap/hexbyte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<char16_t> units(size / 2 + 1);
    std::memcpy(units.data(), data, size / 2 * 2);
    const QString text = size % 2 ? QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))
                                  : QString::fromUtf16(units.data(), int(size / 2));
    const int value = keymap::parseHexByte(text);
    static const QRegularExpression plainDigits("\\A[0-9a-fA-F]{1,2}\\z");
    const char *fault = value < 0 || value > 0xFF                                ? "not a byte"
        : plainDigits.match(text).hasMatch() && value != text.toInt(nullptr, 16) ? "digits misread"
        : keymap::parseHexByte(keymap::hexText(std::uint8_t(value))) != value
        ? "the shown byte reads back otherwise"
        : nullptr;
    if (fault) {
        std::fprintf(stderr, "fuzz_hexbyte: %s: \"%s\" read as %d\n", fault, qPrintable(text), value);
        std::abort();
    }
    return 0;
}
