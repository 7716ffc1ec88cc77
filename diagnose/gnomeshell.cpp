#include "gnomeshell.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace diagnose {

namespace {

constexpr int kCallMs = 3000;

DBusMessage *call(DBusConnection *bus, const char *destination, const char *path, const char *interface,
    const char *method, const char *argument)
{
    DBusMessage *message = dbus_message_new_method_call(destination, path, interface, method);
    if (!message)
        return nullptr;
    dbus_message_append_args(message, DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID);
    DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, message, kCallMs, nullptr);
    dbus_message_unref(message);
    return reply;
}

bool hasOwner(DBusConnection *bus, const char *name)
{
    DBusMessage *reply
        = call(bus, DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "NameHasOwner", name);
    dbus_bool_t owned = false;
    if (reply) {
        dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &owned, DBUS_TYPE_INVALID);
        dbus_message_unref(reply);
    }
    return owned;
}

// The "state" entry of GetExtensionInfo's a{sv}; -1 when there is none.
int shellState(DBusConnection *bus, const char *uuid)
{
    DBusMessage *reply = call(
        bus, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions", "GetExtensionInfo", uuid);
    int state = -1;
    DBusMessageIter it, entries;
    if (reply && dbus_message_iter_init(reply, &it)
        && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_ARRAY) {
        for (dbus_message_iter_recurse(&it, &entries);
             dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY;
             dbus_message_iter_next(&entries)) {
            DBusMessageIter entry, value;
            const char *key = nullptr;
            dbus_message_iter_recurse(&entries, &entry);
            dbus_message_iter_get_basic(&entry, &key);
            dbus_message_iter_next(&entry);
            dbus_message_iter_recurse(&entry, &value);
            if (std::strcmp(key, "state") == 0
                && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_DOUBLE) {
                double number = 0;
                dbus_message_iter_get_basic(&value, &number);
                state = static_cast<int>(number);
            }
        }
    }
    if (reply)
        dbus_message_unref(reply);
    return state;
}

// In the data folders the Shell reads: XDG_DATA_HOME's, then XDG_DATA_DIRS.
bool installed(const char *uuid)
{
    const std::string file = std::string("/gnome-shell/extensions/") + uuid + "/metadata.json";
    std::string folders;
    if (const char *home = std::getenv("XDG_DATA_HOME"); home && *home)
        folders = home;
    else if (const char *user = std::getenv("HOME"))
        folders = std::string(user) + "/.local/share";
    const char *dirs = std::getenv("XDG_DATA_DIRS");
    folders += std::string(":") + (dirs && *dirs ? dirs : "/usr/local/share:/usr/share");
    struct stat info;
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && ::stat((folder + file).c_str(), &info) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

gnome::ExtensionFacts gnomeShellFacts()
{
    gnome::ExtensionFacts facts;
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (!bus)
        return facts;
    dbus_connection_set_exit_on_disconnect(bus, false);
    facts.shellRunning = hasOwner(bus, "org.gnome.Shell");
    if (facts.shellRunning) {
        facts.shellState = shellState(bus, QUORVANT_GNOME_EXTENSION_UUID);
        facts.serviceRunning = hasOwner(bus, gnome::kService);
        facts.installed = installed(QUORVANT_GNOME_EXTENSION_UUID);
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return facts;
}

} // namespace diagnose
