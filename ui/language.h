// The interface's language. The forms carry the program's Chinese texts and
// the code its English messages; whoever prefers another language than
// Chinese sees them through the translation that fits best, English where
// their own language has none. A translation is one
// translations/quorvant_<language>.ts, compiled into the program.
#pragma once

namespace language {

// Installs the translation for the person's interface languages
// (QLocale::system().uiLanguages()) on the application, before any window is
// built.
void install();

} // namespace language
