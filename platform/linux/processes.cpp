// Effect programs are plain executables beside the program, started
// detached, known by their pidfd or found through /proc by their very file,
// and stopped with a signal through the pidfd.
#include "platform/linux/services.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <map>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform::linuxos {

namespace {

// The kernel keeps at most this many bytes of a process name (TASK_COMM_LEN - 1).
constexpr std::size_t kernelNameLength = 15;
// How long a stop waits for killed processes to be gone: a killed process
// normally goes within a millisecond, but one stuck in the kernel must not
// hold the program up.
constexpr std::chrono::milliseconds kLongestStopWait { 50 };

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

} // namespace

struct EffectPrograms::Started
{
    // By the program's path.
    std::map<std::string, Process> byPath;

    // The user's processes that are that effect program: the one started
    // here, then any other that runs its very file (started by hand, or by
    // an earlier run of the program).
    std::vector<Process> processesOf(const std::string &appDir, const std::string &file, bool first)
    {

        const std::string path = appDir + "/" + file;
        std::vector<Process> found;
        const auto own = byPath.find(path);
        if (own != byPath.end()) {
            if (own->second.ended())
                byPath.erase(own);
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
};

EffectPrograms::EffectPrograms()
    : started(std::make_unique<Started>())
{
}

EffectPrograms::~EffectPrograms() = default;

bool EffectPrograms::isRunning(const std::string &appDir, const std::string &file)
{
    return !started->processesOf(appDir, file, true).empty();
}

int EffectPrograms::stop(const std::string &appDir, const std::string &file)
{
    // SIGKILL, as the effects are built to be killed at any moment. The
    // kernel ends a killed process in a moment; that moment is waited
    // for, briefly, so that whoever asks next finds it gone.
    const std::vector<Process> found = started->processesOf(appDir, file, false);
    started->byPath.erase(appDir + "/" + file);
    int stopped = 0;
    for (const Process &process : found)
        stopped += process.kill();
    const auto deadline = std::chrono::steady_clock::now() + kLongestStopWait;
    for (const Process &process : found)
        process.awaitEnd(deadline);
    return found.empty() ? 1 : stopped > 0 ? 0 : 2;
}

bool EffectPrograms::start(const std::string &appDir, const std::string &file)
{
    // Everything the children need is prepared here: after fork, a
    // threaded process may only make async-signal-safe calls.
    const std::string path = appDir + "/" + file;
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
        started->byPath.insert_or_assign(path, std::move(*effect));
    return true;
}

} // namespace platform::linuxos
