// What quorvant-diagnose works out from what the system hands it, as plain
// functions, so that each can be checked without a receiver or a udev.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace diagnose {

constexpr unsigned short kVendorId = 0x26E3;
constexpr unsigned short kProductId = 0xAF01;
// The interface that carries the pen's reports; the others are the keyboard,
// mouse and media keys the system reads by itself.
constexpr int kTrafficInterface = 3;

// Where udev reads rules from, the administrator's own folder first.
inline constexpr const char *kRuleFolders[]
    = { "/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d" };

// Whether a rules file names the receiver, both its ids, outside comments.
bool mentionsReceiver(const std::string &rules);

// The *.rules files in folders that name the receiver, in folder and name
// order. A file reached through more than one folder (/lib is /usr/lib on a
// merged system) comes once.
std::vector<std::string> receiverRules(const std::vector<std::string> &folders);

// The rights ("rw", "r", "-") that a POSIX ACL, as the kernel stores it in
// the system.posix_acl_access attribute, grants uid through an entry naming
// it, limited by the ACL's mask; nothing when no entry names uid or the
// attribute is not an ACL.
std::optional<std::string> aclRightsOf(const std::string &attribute, std::uint32_t uid);

} // namespace diagnose
