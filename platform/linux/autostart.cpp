// Autostart is an XDG autostart desktop entry in the user's configuration,
// or, for the installed package, the package's own entry.
#include "platform/linux/services.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform::linuxos {

namespace {

// The user's own autostart entry, and the one the package puts in the
// system's autostart folder.
constexpr char kUserEntryName[] = "Quorvant.desktop";
constexpr char kSystemEntryName[] = "quorvant.desktop";

bool writeFully(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool makeDirectories(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string configHome()
{
    // Relative values are invalid by the XDG rules and are ignored.
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd *entry = getpwuid(getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + "/.config";
}

// A desktop entry value is unescaped twice: first as a string (backslash,
// newline, tab...), then the Exec line is split like a shell command, where
// inside double quotes '"', '`', '$' and '\' need a backslash. '%' starts a
// field code everywhere and is doubled.
std::string quotedExecArgument(const std::string &argument)
{
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string escapedStringValue(const std::string &value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The ways a user turns an autostart entry off without removing it.
struct DisableKeys
{
    bool hidden = false; // Hidden=true
    bool gnomeDisabled = false; // X-GNOME-Autostart-enabled=false
};

std::string desktopEntry(const std::string &appFilePath, const DisableKeys &keep)
{
    const std::string appDir = appFilePath.substr(0, appFilePath.rfind('/'));
    std::ostringstream entry;
    entry << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=Quorvant\n"
          << "Comment=Laser presenter pen companion\n"
          << "Exec=" << escapedStringValue(quotedExecArgument(appFilePath) + " -bg") << '\n'
          << "Icon=" << escapedStringValue(appDir + "/data/11.png") << '\n'
          << "Terminal=false\n";
    if (keep.hidden)
        entry << "Hidden=true\n";
    entry << "X-GNOME-Autostart-enabled=" << (keep.gnomeDisabled ? "false" : "true") << '\n';
    return entry.str();
}

std::string unescapedStringValue(const std::string &value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
    }
    return out;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The keys of a desktop entry's main group, values as written.
std::vector<std::pair<std::string, std::string>> entryKeys(const std::string &contents)
{
    std::vector<std::pair<std::string, std::string>> keys;
    std::istringstream lines(contents);
    bool inMain = false;
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (inMain && equals != std::string::npos)
            keys.emplace_back(
                trimmed(line.substr(0, equals)), unescapedStringValue(trimmed(line.substr(equals + 1))));
    }
    return keys;
}

DisableKeys disableKeysOf(const std::string &contents)
{
    DisableKeys found;
    for (const auto &[key, value] : entryKeys(contents)) {
        if (key == "Hidden" && value == "true")
            found.hidden = true;
        if (key == "X-GNOME-Autostart-enabled" && value == "false")
            found.gnomeDisabled = true;
    }
    return found;
}

// The program an entry's Exec line starts: its first argument, unquoted.
std::string execProgram(const std::string &contents)
{
    for (const auto &[key, value] : entryKeys(contents)) {
        if (key != "Exec")
            continue;
        if (value.empty() || value[0] != '"')
            return value.substr(0, value.find_first_of(" \t"));
        std::string program;
        for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
            if ((value[i] == '\\' || (value[i] == '%' && value[i + 1] == '%')) && i + 1 < value.size())
                ++i;
            program += value[i];
        }
        return program;
    }
    return {};
}

bool sameFile(const std::string &a, const std::string &b)
{
    struct stat first, second;
    return !a.empty() && !b.empty() && stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether anyone but this user and root could replace what a session would
// start from that path: the file or a folder on the way to it, as written or
// with its links followed, belongs to someone else or is open to others for
// writing. A sticky folder (/tmp) counts as open: once its contents are
// cleared, anyone may make the same path anew.
bool othersCanChange(const std::string &path)
{
    char resolved[PATH_MAX];
    if (path.empty() || path[0] != '/' || !realpath(path.c_str(), resolved))
        return true;
    const uid_t uid = getuid();
    const auto open = [uid](const std::string &step) {
        struct stat info;
        if (lstat(step.c_str(), &info) != 0)
            return true;
        // A link is only followed: where it leads is checked on the resolved way.
        if (S_ISLNK(info.st_mode))
            return false;
        return (info.st_uid != 0 && info.st_uid != uid) || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    };
    for (const std::string &way : { path, std::string(resolved) }) {
        if (open("/"))
            return true;
        for (std::size_t end = way.find('/', 1);; end = way.find('/', end + 1)) {
            if (open(way.substr(0, end)))
                return true;
            if (end == std::string::npos)
                break;
        }
    }
    return false;
}

// The folders of system-wide configuration, most important first.
std::vector<std::string> configDirs()
{
    std::vector<std::string> dirs;
    const char *xdg = std::getenv("XDG_CONFIG_DIRS");
    std::istringstream list(xdg && *xdg ? xdg : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty() && dir[0] == '/')
            dirs.push_back(dir);
    return dirs;
}

// Installed by the package, the program starts with the session through the
// package's own entry, which a user turns off the usual way and which goes
// with the package: it writes none of its own.
bool startedBySystemEntry(const std::string &appFilePath)
{
    char resolved[PATH_MAX];
    if (realpath(appFilePath.c_str(), resolved)
        && std::string(resolved).rfind(QUORVANT_PACKAGE_DIR "/", 0) == 0)
        return true;
    for (const std::string &dir : configDirs())
        if (sameFile(execProgram(readWhole(dir + "/autostart/" + kSystemEntryName)), appFilePath))
            return true;
    return false;
}

// Replaces the file in one step, so a session starting meanwhile never reads
// half an entry.
bool replaceFile(const std::string &path, const std::string &contents)
{
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, 0644) == 0 && writeFully(fd, contents) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

} // namespace

bool writeAutostart(const std::string &appFilePath)
{
    const std::string config = configHome();
    if (config.empty())
        return false;
    const std::string dir = config + "/autostart";
    const std::string own = dir + "/" + kUserEntryName;
    const std::string previous = readWhole(own);
    if (startedBySystemEntry(appFilePath)) {
        // An entry of ours from before would start the program twice, and
        // outlive the package. One the user turned off keeps the package's
        // off under its name.
        if (!previous.empty() && sameFile(execProgram(previous), appFilePath)) {
            const std::string masking = dir + "/" + kSystemEntryName;
            const DisableKeys keys = disableKeysOf(previous);
            if (!(keys.hidden || keys.gnomeDisabled) || access(masking.c_str(), F_OK) == 0
                || rename(own.c_str(), masking.c_str()) != 0)
                unlink(own.c_str());
        }
        return true;
    }
    // A session would start whatever comes to stand at that path; an
    // entry of ours that names it goes.
    if (othersCanChange(appFilePath)) {
        if (!previous.empty() && sameFile(execProgram(previous), appFilePath))
            unlink(own.c_str());
        return false;
    }
    return makeDirectories(dir) && replaceFile(own, desktopEntry(appFilePath, disableKeysOf(previous)));
}

} // namespace platform::linuxos
