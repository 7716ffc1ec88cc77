#include "diagnose.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace diagnose {

namespace {

// linux/posix_acl_xattr.h: a little-endian version word, then entries.
constexpr std::uint32_t kAclVersion = 2;
struct AclEntry
{
    std::uint16_t tag;
    std::uint16_t rights;
    std::uint32_t id;
};
static_assert(sizeof(AclEntry) == 8, "an ACL entry as the kernel stores it");
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::uint16_t kAclUser = 0x02, kAclMask = 0x10;
constexpr std::uint16_t kRead = 4, kWrite = 2;

std::uint32_t littleEndian(const std::string &bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool endsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> filesIn(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            names.emplace_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool mentionsReceiver(const std::string &rules)
{
    std::istringstream lines(lowered(rules));
    std::string line, live;
    while (std::getline(lines, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#')
            live += line + '\n';
    }
    return live.find("26e3") != std::string::npos && live.find("af01") != std::string::npos;
}

std::vector<std::string> receiverRules(const std::vector<std::string> &folders)
{
    std::vector<std::string> found, seen;
    for (const std::string &folder : folders) {
        for (const std::string &name : filesIn(folder)) {
            const std::string path = folder + "/" + name;
            char real[PATH_MAX];
            const std::string identity = realpath(path.c_str(), real) ? real : path;
            if (!endsWith(name, ".rules") || std::find(seen.begin(), seen.end(), identity) != seen.end())
                continue;
            seen.push_back(identity);
            std::ifstream file(path);
            std::stringstream text;
            text << file.rdbuf();
            if (mentionsReceiver(text.str()))
                found.push_back(path);
        }
    }
    return found;
}

std::optional<std::string> aclRightsOf(const std::string &attribute, std::uint32_t uid)
{
    if (attribute.size() < kAclHeaderSize || (attribute.size() - kAclHeaderSize) % sizeof(AclEntry)
        || littleEndian(attribute, 0, 4) != kAclVersion)
        return std::nullopt;
    std::optional<std::uint16_t> own;
    std::uint16_t mask = kRead | kWrite;
    for (std::size_t at = kAclHeaderSize; at < attribute.size(); at += sizeof(AclEntry)) {
        const AclEntry entry { static_cast<std::uint16_t>(littleEndian(attribute, at, 2)),
            static_cast<std::uint16_t>(littleEndian(attribute, at + 2, 2)),
            littleEndian(attribute, at + 4, 4) };
        if (entry.tag == kAclUser && entry.id == uid)
            own = entry.rights;
        else if (entry.tag == kAclMask)
            mask = entry.rights;
    }
    if (!own)
        return std::nullopt;
    const std::uint16_t rights = *own & mask;
    std::string text = std::string(rights & kRead ? "r" : "") + (rights & kWrite ? "w" : "");
    return text.empty() ? "-" : text;
}

} // namespace diagnose
