#include "gnome/extensionstate.h"

namespace gnome {

namespace {

// The Shell's numbers for an extension's state, the same from GNOME 43 on.
constexpr int kShellEnabled = 1;
constexpr int kShellError = 3;
constexpr int kShellOutOfDate = 4;
constexpr int kShellUninstalled = 99;

} // namespace

ExtensionState stateOf(const ExtensionFacts &facts)
{
    if (!facts.shellRunning)
        return ExtensionState::NoShell;
    if (facts.shellState < 0 || facts.shellState == kShellUninstalled)
        return facts.installed ? ExtensionState::NotLoaded : ExtensionState::Missing;
    if (facts.shellState == kShellError || facts.shellState == kShellOutOfDate)
        return ExtensionState::Failed;
    if (facts.shellState != kShellEnabled)
        return ExtensionState::Disabled;
    // Enabled, yet without its service: it failed after the Shell started it.
    return facts.serviceRunning ? ExtensionState::Running : ExtensionState::Failed;
}

const char *describe(ExtensionState state)
{
    switch (state) {
    case ExtensionState::NoShell:
        return "no GNOME Shell runs";
    case ExtensionState::Missing:
        return "not installed";
    case ExtensionState::NotLoaded:
        return "installed during this session: log out and in once";
    case ExtensionState::Disabled:
        return "off";
    case ExtensionState::Failed:
        return "on, but it could not start";
    case ExtensionState::Running:
        return "on: it draws the effects";
    }
    return "";
}

} // namespace gnome
