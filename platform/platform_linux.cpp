// Linux services: effect programs are plain executables beside the program,
// started detached, known by their pidfd or found through /proc by their very
// file, and stopped with a signal through the pidfd; autostart
// is an XDG autostart desktop entry; HID devices are watched through udev.
#include "platform/platform.h"
#include "platform/privatefolder.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <limits.h>
#include <map>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The user's own autostart entry, and the one the package puts in the
// system's autostart folder.
constexpr char kUserEntryName[] = "Quorvant.desktop";
constexpr char kSystemEntryName[] = "quorvant.desktop";

// The kernel keeps at most this many bytes of a process name (TASK_COMM_LEN - 1).
constexpr std::size_t kernelNameLength = 15;
// How long a stop waits for killed processes to be gone: a killed process
// normally goes within a millisecond, but one stuck in the kernel must not
// hold the program up.
constexpr std::chrono::milliseconds kLongestStopWait { 50 };

// Empty when the file cannot be read. Plain reads: a /proc file of a process
// that ends meanwhile fails with ESRCH, which std::filebuf reports by
// throwing, past any stream's exception mask, and ends the program.
std::string readWhole(const std::string &path)
{
    std::string contents;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return contents;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            contents.append(chunk, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0)
                contents.clear();
            break;
        }
    }
    close(fd);
    return contents;
}

// Reads name and state from /proc/PID/stat in one go, so that both describe
// the same moment. The name sits between the first "(" and the last ")",
// since it may itself hold parentheses and blanks.
bool readNameAndState(const std::string &pid, std::string &name, char &state)
{
    const std::string stat = readWhole("/proc/" + pid + "/stat");
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open || close + 2 >= stat.size())
        return false;
    name = stat.substr(open + 1, close - open - 1);
    state = stat[close + 2];
    return true;
}

// Whether the process is the user's own and runs that very file: the same
// file by device and inode, or that path replaced on disk since it started
// (an update), which is still the same program.
bool runsFile(const std::string &pid, const std::string &path, const struct stat *file)
{
    const std::string proc = "/proc/" + pid;
    struct stat info;
    if (stat(proc.c_str(), &info) != 0 || info.st_uid != getuid())
        return false;
    if (file && stat((proc + "/exe").c_str(), &info) == 0 && info.st_dev == file->st_dev
        && info.st_ino == file->st_ino)
        return true;
    char target[PATH_MAX];
    const ssize_t length = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
    return length > 0 && std::string(target, static_cast<std::size_t>(length)) == path + " (deleted)";
}

bool isPid(const char *entry)
{
    if (*entry == '\0')
        return false;
    for (const char *c = entry; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

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

// A process held by a pidfd where the system has them, so that whatever is
// done to it reaches that very process, whatever became of its number.
class Process
{
public:
    Process(pid_t pid, int pidfd)
        : pid(pid)
        , pidfd(pidfd)
    {
    }
    Process(Process &&other) noexcept
        : pid(other.pid)
        , pidfd(std::exchange(other.pidfd, -1))
    {
    }
    Process &operator=(Process &&other) noexcept
    {
        std::swap(pid, other.pid);
        std::swap(pidfd, other.pidfd);
        return *this;
    }
    ~Process()
    {
        if (pidfd >= 0)
            close(pidfd);
    }

    static Process open(pid_t pid) { return Process(pid, static_cast<int>(syscall(SYS_pidfd_open, pid, 0))); }

    Process duplicate() const { return Process(pid, pidfd >= 0 ? fcntl(pidfd, F_DUPFD_CLOEXEC, 0) : -1); }

    pid_t id() const { return pid; }
    bool held() const { return pidfd >= 0; }

    // Over once it has ended, reaped or not.
    bool ended() const
    {
        pollfd exit = { pidfd, POLLIN, 0 };
        return pidfd >= 0 && poll(&exit, 1, 0) > 0;
    }

    bool kill() const
    {
        const long result
            = pidfd >= 0 ? syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) : ::kill(pid, SIGKILL);
        return result == 0 || errno == ESRCH;
    }

    // Waits for the end until the deadline; a process not held is not waited for.
    void awaitEnd(std::chrono::steady_clock::time_point deadline) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd exit = { pidfd, POLLIN, 0 };
        while (pidfd >= 0 && poll(&exit, 1, int(std::max<std::int64_t>(0, left.count()))) < 0
            && errno == EINTR) { }
    }

private:
    pid_t pid;
    int pidfd;
};

// Live processes of this user that run the executable `path` (file name
// `file`), found through /proc; at most one when `first` is set.
std::vector<Process> processesRunning(const std::string &path, const std::string &file, bool first)
{
    std::vector<Process> found;
    struct stat fileInfo;
    const struct stat *present = stat(path.c_str(), &fileInfo) == 0 ? &fileInfo : nullptr;
    // The kernel's name of a process is checked first: it is cheap, and only
    // those that bear the file's name need a closer look.
    const std::string shown = file.substr(0, kernelNameLength);
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = readdir(proc)) {
        if (!isPid(entry->d_name))
            continue;
        std::string name;
        char state = 0;
        if (!readNameAndState(entry->d_name, name, state) || name != shown)
            continue;
        // A killed program stays listed until its parent reaps it; it no
        // longer runs, and must not keep its mode from being entered again.
        if (state == 'Z' || state == 'X')
            continue;
        // Held before it is looked at: what is looked at then is what is held.
        Process process = Process::open(static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)));
        if ((!process.held() && errno != ENOSYS) || !runsFile(entry->d_name, path, present)
            || process.ended())
            continue;
        found.push_back(std::move(process));
        if (first)
            break;
    }
    closedir(proc);
    return found;
}

// What the middle process of a start tells of the effect program it forked:
// its number, and a pidfd made while it was still the middle's child, so
// that it cannot be anybody else's by then. Only async-signal-safe calls.
void sendStarted(int channel, pid_t pid, int pidfd)
{
    iovec data = { &pid, sizeof pid };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    std::memset(control, 0, sizeof control);
    msghdr message;
    std::memset(&message, 0, sizeof message);
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    if (pidfd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &pidfd, sizeof pidfd);
    }
    if (sendmsg(channel, &message, MSG_NOSIGNAL) < 0) {
        // The start is then only known by its file.
    }
}

// The middle process has ended: what it sent waits already.
std::optional<Process> receiveStarted(int channel)
{
    pid_t pid = 0;
    iovec data = { &pid, sizeof pid };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message;
    std::memset(&message, 0, sizeof message);
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(channel, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC) != sizeof pid)
        return std::nullopt;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
            int pidfd;
            std::memcpy(&pidfd, CMSG_DATA(header), sizeof pidfd);
            return Process(pid, pidfd);
        }
    }
    return std::nullopt;
}

// The udev daemon's view of hidraw nodes: it announces a node once its rules
// (permissions among them) have been applied.
class UdevMonitor final : public DeviceMonitor
{
public:
    UdevMonitor(udev *context, udev_monitor *monitor, DeviceCallback onEvent)
        : context(context)
        , monitor(monitor)
        , onEvent(std::move(onEvent))
    {
    }
    ~UdevMonitor() override
    {
        udev_monitor_unref(monitor);
        udev_unref(context);
    }

    int descriptor() const override { return udev_monitor_get_fd(monitor); }

    void dispatch() override
    {
        // The socket does not block: it is drained until it has nothing more.
        while (udev_device *device = udev_monitor_receive_device(monitor)) {
            DeviceEvent event;
            const char *action = udev_device_get_action(device);
            const std::string kind = action ? action : "";
            event.kind = kind == "add" ? DeviceEvent::Added
                : kind == "remove"     ? DeviceEvent::Removed
                                       : DeviceEvent::Changed;
            if (const char *node = udev_device_get_devnode(device))
                event.path = node;
            udev_device_unref(device);
            onEvent(event);
        }
    }

private:
    udev *context;
    udev_monitor *monitor;
    DeviceCallback onEvent;
};

// The signal handler's way into the event loop: it writes the signal number
// to one end of a socket pair whose other end the owner watches. One pair
// for the process, as signal handlers are.
int signalPipe[2] = { -1, -1 };

void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Non-blocking: with the pipe full, a byte is already waiting to be read.
    if (write(signalPipe[1], &byte, 1) < 0) {
        // Nothing can be done about it here.
    }
    errno = savedErrno;
}

class TerminationWatch final : public EventSource
{
public:
    explicit TerminationWatch(std::function<void(int)> onRequest)
        : onRequest(std::move(onRequest))
    {
        // A logout, a shutdown or a closed terminal ends a tray program by a
        // signal far more often than by its menu.
        for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
            struct sigaction previous;
            if (sigaction(signalNumber, nullptr, &previous) != 0)
                continue;
            // A signal ignored by whoever started the program (nohup, a
            // background job) stays ignored.
            if (previous.sa_handler == SIG_IGN)
                continue;
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = forwardSignal;
            sigemptyset(&action.sa_mask);
            // A second signal while shutting down ends the program at once,
            // in case the orderly way hangs.
            action.sa_flags = SA_RESTART | SA_RESETHAND;
            sigaction(signalNumber, &action, nullptr);
        }
    }

    int descriptor() const override { return signalPipe[0]; }

    void dispatch() override
    {
        char received[16];
        ssize_t count;
        while ((count = read(signalPipe[0], received, sizeof received)) > 0)
            for (ssize_t i = 0; i < count; ++i)
                onRequest(received[i]);
    }

private:
    std::function<void(int)> onRequest;
};

class LinuxPlatform final : public Platform
{
public:
    std::string programFile(const std::string &program) const override { return program; }

    bool isRunning(const std::string &appDir, const std::string &program) override
    {
        return !processesOf(appDir, program, true).empty();
    }

    int stopProgram(const std::string &appDir, const std::string &program) override
    {
        // SIGKILL, as the effects are built to be killed at any moment. The
        // kernel ends a killed process in a moment; that moment is waited
        // for, briefly, so that whoever asks next finds it gone.
        const std::vector<Process> found = processesOf(appDir, program, false);
        started.erase(appDir + "/" + programFile(program));
        int stopped = 0;
        for (const Process &process : found)
            stopped += process.kill();
        const auto deadline = std::chrono::steady_clock::now() + kLongestStopWait;
        for (const Process &process : found)
            process.awaitEnd(deadline);
        return found.empty() ? 1 : stopped > 0 ? 0 : 2;
    }

    std::unique_ptr<DeviceMonitor> watchDevices(DeviceCallback onEvent) override
    {
        udev *context = udev_new();
        if (!context)
            return nullptr;
        udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
        if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0
            || udev_monitor_enable_receiving(monitor) < 0) {
            if (monitor)
                udev_monitor_unref(monitor);
            udev_unref(context);
            return nullptr;
        }
        return std::make_unique<UdevMonitor>(context, monitor, std::move(onEvent));
    }

    bool openDenied(const std::string &path) override
    {
        const int openError = errno;
        // A device node tells by its permissions; anything else (a node that
        // went meanwhile, a stand-in's path) by the error of the open itself.
        if (access(path.c_str(), F_OK) == 0)
            return access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
        return openError == EACCES || openError == EPERM;
    }

    bool startProgram(const std::string &appDir, const std::string &program) override
    {
        // Everything the children need is prepared here: after fork, a
        // threaded process may only make async-signal-safe calls.
        const std::string path = appDir + "/" + programFile(program);
        char *const argv[] = { const_cast<char *>(path.c_str()), nullptr };
        const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
        int status[2], channel[2];
        if (pipe2(status, O_CLOEXEC) != 0) {
            if (devNull >= 0)
                close(devNull);
            return false;
        }
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, channel) != 0) {
            channel[0] = channel[1] = -1;
        }

        // Two forks: the effect program is orphaned at once and adopted by
        // init, so it is never our child and never a zombie of ours; the
        // middle process tells which process it is. The status pipe closes
        // on a successful exec and carries errno otherwise.
        const pid_t middle = fork();
        if (middle == 0) {
            close(status[0]);
            setsid();
            const pid_t effect = fork();
            if (effect == 0) {
                if (devNull >= 0)
                    dup2(devNull, STDIN_FILENO);
                else
                    close(STDIN_FILENO);
                sigset_t none;
                sigemptyset(&none);
                sigprocmask(SIG_SETMASK, &none, nullptr);
                struct sigaction standard;
                std::memset(&standard, 0, sizeof standard);
                standard.sa_handler = SIG_DFL;
                for (int sig = 1; sig < NSIG; ++sig)
                    sigaction(sig, &standard, nullptr);
                execv(path.c_str(), argv);
            } else if (effect > 0) {
                sendStarted(channel[1], effect, static_cast<int>(syscall(SYS_pidfd_open, effect, 0)));
                _exit(0);
            }
            const int error = errno;
            if (write(status[1], &error, sizeof error) < 0) {
                // Nothing left to tell it with.
            }
            _exit(127);
        }

        close(status[1]);
        if (channel[1] >= 0)
            close(channel[1]);
        if (devNull >= 0)
            close(devNull);
        if (middle < 0) {
            close(status[0]);
            if (channel[0] >= 0)
                close(channel[0]);
            return false;
        }
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) { }
        std::optional<Process> effect;
        if (channel[0] >= 0) {
            effect = receiveStarted(channel[0]);
            close(channel[0]);
        }
        int error = 0;
        ssize_t n;
        while ((n = read(status[0], &error, sizeof error)) < 0 && errno == EINTR) { }
        close(status[0]);
        if (n != 0)
            return false;
        if (effect)
            started.insert_or_assign(path, std::move(*effect));
        return true;
    }

    bool writeAutostart(const std::string &appFilePath) override
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

    // The desktop's pointer theme is the user's own; the program never
    // changes it, so there is nothing to put back.
    void resetCursorScheme() override { }

    std::unique_ptr<EventSource> watchTermination(std::function<void(int)> onRequest) override
    {
        if (signalPipe[0] < 0
            && socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0)
            return nullptr;
        return std::make_unique<TerminationWatch>(std::move(onRequest));
    }

private:
    // The user's processes that are that effect program: the one started
    // here, then any other that runs its very file (started by hand, or by
    // an earlier run of the program).
    std::vector<Process> processesOf(const std::string &appDir, const std::string &program, bool first)
    {
        const std::string file = programFile(program);
        const std::string path = appDir + "/" + file;
        std::vector<Process> found;
        const auto own = started.find(path);
        if (own != started.end()) {
            if (own->second.ended())
                started.erase(own);
            else
                found.push_back(own->second.duplicate());
        }
        if (first && !found.empty())
            return found;
        for (Process &process : processesRunning(path, file, first))
            if (found.empty() || process.id() != found.front().id())
                found.push_back(std::move(process));
        return found;
    }

    // The effect programs started here, by their file's path, each held
    // until it ends or is stopped.
    std::map<std::string, Process> started;
};

} // namespace

std::unique_ptr<Platform> createPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

std::string instanceSocketName(const std::string &executableFileName)
{
    // Beside the segments: other users' copies and strangers' files in /tmp
    // neither stop this program nor are stopped by it.
    const std::string folder = privateFolder();
    if (!folder.empty())
        return folder + "/instance";

    // Someone else holds that folder: run without a guard rather than trust it.
    const char *tmp = std::getenv("TMPDIR");
    const std::string tempDir = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return tempDir + "/" + executableFileName + "-" + std::to_string(getuid()) + "-"
        + std::to_string(getpid());
}

} // namespace platform
