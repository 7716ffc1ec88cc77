// quorvant-diagnose: tells why Quorvant does not follow the pen. It lists the
// receiver's HID interfaces and their nodes, tries to open each for reading
// and writing as Quorvant does, tells what stands in the way, and whether the
// udev rule that hands the receiver to the logged-in user is installed; and
// which backend draws the effects in this session.
// Exits 0 when the pen's traffic interface can be opened, 1 otherwise.
#include "platform/backendchoice.h"
#include "diagnose.h"
#include "gnomeshell.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] = "usage: quorvant-diagnose\n"
                      "Lists the HID interfaces of the pen's receiver (26e3:af01), whether each can be\n"
                      "opened for reading and writing and why not, and whether the udev rule that\n"
                      "gives the logged-in user access is installed, and which backend draws the\n"
                      "effects and the mode notice in this session, and why. Exits 0 when interface 3,\n"
                      "the pen's own, can be opened, 1 otherwise.\n";

struct Interface
{
    int number;
    std::string path;
};

std::string userName(uid_t uid)
{
    const passwd *entry = getpwuid(uid);
    return entry ? entry->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group *entry = getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}

bool inGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    groups.resize(
        static_cast<std::size_t>(std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Who may open the node, for a user who may not: the owner, the group, the
// mode, and the ACL entry that the uaccess tag gives the seat's user.
std::string whoMayOpen(const std::string &path, const struct stat &node)
{
    const uid_t uid = geteuid();
    char line[256];
    std::snprintf(line, sizeof line, "owner %s, group %s%s, mode %04o; ", userName(node.st_uid).c_str(),
        groupName(node.st_gid).c_str(), inGroup(node.st_gid) ? "" : " (you are not in it)",
        static_cast<unsigned>(node.st_mode & 07777));
    std::string text = line;
    std::string attribute(1024, '\0');
    const ssize_t length = getxattr(path.c_str(), "system.posix_acl_access", &attribute[0], attribute.size());
    attribute.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto rights = diagnose::aclRightsOf(attribute, uid);
    return text
        + (rights ? "ACL for " + userName(uid) + ": " + *rights : "no ACL entry for " + userName(uid));
}

// Whether the interface opens for reading and writing, and one line more on
// who may open it when permissions are what stand in the way.
bool check(const Interface &interface)
{
    std::printf("  interface %d  %s  ", interface.number, interface.path.c_str());
    struct stat node;
    if (stat(interface.path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        // Another hidapi backend, or a stand-in for one: only hidapi can tell.
        std::printf("not a device node; ");
        hid_device *device = hid_open_path(interface.path.c_str());
        if (device) {
            hid_close(device);
            std::printf("openable: yes\n");
            return true;
        }
        const wchar_t *why = hid_error(nullptr);
        std::printf("openable: no (%ls)\n", why && *why ? why : L"hidapi gave no reason");
        return false;
    }
    const int fd = open(interface.path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        std::printf("openable: yes\n");
        return true;
    }
    const int error = errno;
    std::printf("openable: no (%s)\n", std::strerror(error));
    if (error == EACCES || error == EPERM)
        std::printf("      %s\n", whoMayOpen(interface.path, node).c_str());
    return false;
}

std::vector<Interface> receiverInterfaces()
{
    std::vector<Interface> found;
    hid_device_info *list = hid_enumerate(diagnose::kVendorId, diagnose::kProductId);
    for (const hid_device_info *info = list; info; info = info->next)
        found.push_back({ info->interface_number, info->path ? info->path : "" });
    hid_free_enumeration(list);
    std::stable_sort(found.begin(), found.end(),
        [](const Interface &a, const Interface &b) { return a.number < b.number; });
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    if (hid_init() != 0) {
        std::printf("hidapi could not start: %ls\n", hid_error(nullptr));
        return 1;
    }

    const std::vector<Interface> interfaces = receiverInterfaces();
    std::printf("receiver %04x:%04x: ", diagnose::kVendorId, diagnose::kProductId);
    if (interfaces.empty())
        std::printf("no HID interface found (not plugged in?)\n");
    else
        std::printf("%zu HID interface%s\n", interfaces.size(), interfaces.size() == 1 ? "" : "s");
    bool traffic = false, trafficOpens = false;
    for (const Interface &interface : interfaces) {
        const bool opens = check(interface);
        if (interface.number == diagnose::kTrafficInterface) {
            traffic = true;
            trafficOpens = trafficOpens || opens;
        }
    }

    const std::vector<std::string> folders(
        std::begin(diagnose::kRuleFolders), std::end(diagnose::kRuleFolders));
    const std::vector<std::string> rules = diagnose::receiverRules(folders);
    for (const std::string &rule : rules)
        std::printf("udev rule: %s\n", rule.c_str());
    if (rules.empty())
        std::printf("udev rule: not installed (no rules file in /etc/udev/rules.d, /usr/lib/udev/rules.d or "
                    "/lib/udev/rules.d names 26e3 and af01)\n");

    const backend::Choice drawing = backend::choose(backend::currentSession());
    std::printf("effects drawn by: %s (%s)\n", backend::name(drawing.kind), drawing.reason.c_str());
    std::printf("GNOME Shell extension %s: %s\n", QUORVANT_GNOME_EXTENSION_UUID,
        gnome::describe(gnome::stateOf(diagnose::gnomeShellFacts())));

    if (trafficOpens)
        std::printf("result: interface %d can be opened\n", diagnose::kTrafficInterface);
    else if (!traffic)
        std::printf("result: interface %d is not there\n", diagnose::kTrafficInterface);
    else
        std::printf("result: interface %d cannot be opened%s\n", diagnose::kTrafficInterface,
            rules.empty() ? "; install the udev rule, then plug the receiver in again"
                          : "; plug the receiver in again, or log in again at this seat");
    hid_exit();
    return trafficOpens ? 0 : 1;
}
