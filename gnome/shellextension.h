// Quorvant's GNOME Shell extension, seen from the program and the effect
// programs: whether the Shell runs it, turning it on, and what it draws.
//
// GNOME Shell gives ordinary programs neither the pointer's position nor
// windows above everything that let input through, so on GNOME the extension
// draws the effects and the mode notice on the Shell's own stage. A program
// asks for them over the session bus; an effect lasts while the program that
// asked for it is on the bus.
#pragma once

#include "gnome/extensionstate.h"

#include <QDBusConnection>
#include <QString>

namespace gnome {

// The extension's uuid, as its metadata.json gives it.
QString extensionUuid();

// Where the Shell and the extension stand, on `bus`.
ExtensionState extensionState(const QDBusConnection &bus);

// Asks the Shell to enable the extension from now on; true when it agreed.
bool enableExtension(const QDBusConnection &bus);

// The extension's drawing service. Sizes are in pixels, worked out by the
// caller: the extension holds no table of its own.
class Drawing
{
public:
    explicit Drawing(const QDBusConnection &bus);

    // Whether the extension runs and can be asked.
    bool available() const;

    // Shows `effect` ("dot", "spotlight" or "lens") at the pointer until
    // hide() or until this program leaves the bus; `zoom` is the lens's.
    bool show(const QString &effect, int pixels, int zoom);
    bool setSize(int pixels);
    void hide();

    // The mode notice, for `milliseconds`, at the top of the pointer's monitor.
    bool showNotice(const QString &text, int milliseconds);

private:
    bool call(const char *method, const QVariantList &args) const;

    QDBusConnection bus_;
};

} // namespace gnome
