// The session as the compositor and the session bus describe it.
#include "platform/backendchoice.h"

#include <dbus/dbus.h>
#include <wayland-client.h>

#include <cstdlib>

namespace backend {

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

void announced(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    static_cast<std::vector<std::string> *>(data)->push_back(interface);
}

void withdrawn(void *, wl_registry *, uint32_t) { }

constexpr wl_registry_listener kRegistryListener = { announced, withdrawn };

bool askCompositor(std::vector<std::string> &globals)
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return false;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answered;
}

std::vector<std::string> askBus()
{
    std::vector<std::string> names;
    DBusError error;
    dbus_error_init(&error);
    // A private connection: the process's shared one, if any, stays as it was.
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        dbus_error_free(&error);
        return names;
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    DBusMessage *call = dbus_message_new_method_call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames");
    DBusMessage *reply = call ? dbus_connection_send_with_reply_and_block(bus, call, 2000, &error) : nullptr;
    DBusMessageIter it, array;
    if (reply && dbus_message_iter_init(reply, &it)
        && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_ARRAY) {
        for (dbus_message_iter_recurse(&it, &array);
             dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRING; dbus_message_iter_next(&array)) {
            const char *name = nullptr;
            dbus_message_iter_get_basic(&array, &name);
            names.emplace_back(name);
        }
    }
    if (reply)
        dbus_message_unref(reply);
    if (call)
        dbus_message_unref(call);
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return names;
}

} // namespace

Session currentSession()
{
    Session session;
    session.override = environment(kOverride);
    session.qtPlatform = environment("QT_QPA_PLATFORM");
    session.waylandDisplay = environment("WAYLAND_DISPLAY");
    const bool qtOnWayland = session.qtPlatform.empty() || session.qtPlatform.compare(0, 7, "wayland") == 0;
    if (!session.waylandDisplay.empty()) {
        // GNOME Shell's extension draws whatever Qt's platform is.
        session.busNames = askBus();
        if (qtOnWayland)
            session.waylandReached = askCompositor(session.globals);
    }
    return session;
}

} // namespace backend
