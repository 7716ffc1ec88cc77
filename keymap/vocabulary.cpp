#include "keymap/vocabulary.h"

namespace keymap {

QStringList keyNames()
{
    QStringList names;
    names.reserve(keyActionCount);
    for (const KeyAction &action : keyActions)
        names << QString::fromLatin1(action.name);
    return names;
}

std::uint8_t keyCode(int index)
{
    // A box without a current entry (index -1, while it is being refilled)
    // shows nothing, which is what the empty action means.
    if (index < 0 || index >= keyActionCount)
        return keyActions[0].code;
    return keyActions[index].code;
}

std::optional<int> keyIndex(std::uint8_t code)
{
    for (int index = 0; index < keyActionCount; ++index)
        if (keyActions[index].code == code)
            return index;
    return std::nullopt;
}

} // namespace keymap
