// Where Quorvant's GNOME Shell extension stands, worked out from what the
// session bus and the disk say. Plain C++, so that quorvant-diagnose, which
// has no Qt, tells the same as the program.
#pragma once

namespace gnome {

enum class ExtensionState {
    NoShell, // no GNOME Shell on the session bus
    Missing, // not installed
    NotLoaded, // installed while the session ran: the Shell sees it after the next login
    Disabled, // installed and known to the Shell, not enabled
    Failed, // enabled, but the Shell could not run it
    Running, // it draws
};

// What was found out, as the bus and the disk said it.
struct ExtensionFacts
{
    bool shellRunning = false; // org.gnome.Shell has an owner
    int shellState = -1; // the "state" GetExtensionInfo gave; -1 when it gave none
    bool installed = false; // its metadata.json is in a data folder the Shell reads
    bool serviceRunning = false; // the extension's own bus name has an owner
};

ExtensionState stateOf(const ExtensionFacts &facts);

// A few words for a person, in English, after "the extension: ".
const char *describe(ExtensionState state);

// The extension's bus name, object and interface; gnome/extension/drawing.js
// exports them.
inline constexpr const char kService[] = "org.quorvant.Effects";
inline constexpr const char kPath[] = "/org/quorvant/Effects";
inline constexpr const char kInterface[] = "org.quorvant.Effects";

} // namespace gnome
