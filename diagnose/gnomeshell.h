#pragma once

#include "gnome/extensionstate.h"

namespace diagnose {

// What the session bus and the data folders say of Quorvant's GNOME Shell
// extension, asked through libdbus.
gnome::ExtensionFacts gnomeShellFacts();

} // namespace diagnose
