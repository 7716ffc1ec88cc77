// The folder through which this user's copy of the program and its effect
// programs meet: the single-instance socket and the size segments' key files
// live there. Free of Qt, as the rest of the platform layer, and apart from it,
// so that the effect programs share the rule without the program's services.
#pragma once

#include <string>

namespace platform {

// "quorvant" in the user's runtime folder ($XDG_RUNTIME_DIR) when that is a
// folder of the user's own, closed to everyone else; otherwise
// "quorvant-<uid>" in the temporary folder ($TMPDIR, else /tmp). Made 0700
// when missing. Empty when the folder found there is not the user's own or is
// open to others: whoever made it could take or answer what is put in it.
std::string privateFolder();

} // namespace platform
