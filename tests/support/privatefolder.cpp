#include "support/privatefolder.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

const char *const kFolderVariable = "QUORVANT_PRIVATE_TEST_FOLDER";

int fail(const char *what)
{
    std::fprintf(stderr, "private test folder: %s: %s\n", what, std::strerror(errno));
    return 1;
}

} // namespace

int runInPrivateFolder(int argc, char **argv)
{
    (void)argc;
    if (std::getenv(kFolderVariable))
        return -1;

    namespace fs = std::filesystem;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return fail("readlink /proc/self/exe");
    const fs::path executable(std::string(self, static_cast<std::size_t>(length)));

    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvant-test-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        return fail("mkdtemp");
    const fs::path folder(pattern);
    const fs::path copy = folder / executable.filename();

    std::error_code error;
    // A hard link is a copy as far as the copy's own path is concerned.
    fs::create_hard_link(executable, copy, error);
    if (error)
        fs::copy_file(executable, copy, error);
    if (!error && fs::is_directory(executable.parent_path() / "data"))
        fs::create_directory_symlink(executable.parent_path() / "data", folder / "data", error);
    if (error) {
        std::fprintf(stderr, "private test folder: %s\n", error.message().c_str());
        fs::remove_all(folder, error);
        return 1;
    }

    setenv(kFolderVariable, folder.c_str(), 1);
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        fs::remove_all(folder, error);
        return fail("fork");
    }
    if (child == 0) {
        // A test killed for taking too long takes its copy with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
        execv(copy.c_str(), argv);
        std::fprintf(stderr, "private test folder: exec %s: %s\n", copy.c_str(), std::strerror(errno));
        _exit(127);
    }

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    fs::remove_all(folder, error);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

QString privateFolder()
{
    return QString::fromLocal8Bit(qgetenv(kFolderVariable));
}

} // namespace testsupport
