// The advanced dialog's fields take whatever is typed or pasted. Inputs of
// odd length are read as UTF-8, even ones as UTF-16, so both broken encodings
// and characters outside Latin-1 come by.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "keymap/hexbyte.h"

namespace {

[[noreturn]] void fail(const char *what, const QString &text, int value)
{
    std::fprintf(stderr, "fuzz_hexbyte: %s: \"%s\" read as %d\n", what, qPrintable(text), value);
    std::abort();
}

bool isHexDigit(QChar c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString text;
    if (size % 2 == 0) {
        std::vector<char16_t> units(size / 2);
        if (size > 0)
            std::memcpy(units.data(), data, size);
        text = QString::fromUtf16(units.data(), int(units.size()));
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    }

    const int value = keymap::parseHexByte(text);
    if (value < 0 || value > 0xFF)
        fail("not a byte", text, value);

    // One or two plain digits read as the number they write.
    if ((text.size() == 1 || text.size() == 2) && isHexDigit(text.front()) && isHexDigit(text.back())) {
        bool ok = false;
        const int expected = text.toInt(&ok, 16);
        if (!ok || value != expected)
            fail("digits misread", text, value);
    }

    // What the dialog shows for a byte reads back as that byte.
    if (keymap::parseHexByte(keymap::hexText(static_cast<std::uint8_t>(value))) != value)
        fail("shown byte reads back differently", text, value);
    return 0;
}
