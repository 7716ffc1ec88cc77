#include "support/privatefolder.h"

#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

static const char kFolderVariable[] = "QUORVANT_PRIVATE_TEST_FOLDER";

int runInPrivateFolder(int, char **argv)
{
    if (qEnvironmentVariableIsSet(kFolderVariable))
        return -1;
    QTemporaryDir folder(QDir::tempPath() + "/quorvant-test-XXXXXX");
    const QFileInfo executable(QFile::symLinkTarget("/proc/self/exe"));
    const QByteArray copy = QFile::encodeName(folder.filePath(executable.fileName()));
    const QString data = executable.path() + "/data";
    // A hard link is a copy as far as the copy's own path is concerned.
    if (!folder.isValid()
        || (link(QFile::encodeName(executable.filePath()), copy) != 0
            && !QFile::copy(executable.filePath(), QFile::decodeName(copy)))
        || (QFileInfo(data).isDir() && !QFile::link(data, folder.filePath("data")))) {
        std::fprintf(stderr, "private test folder: cannot set up %s\n", qPrintable(folder.path()));
        return 1;
    }
    qputenv(kFolderVariable, QFile::encodeName(folder.path()));
    std::fflush(nullptr);
    const pid_t parent = getpid(), child = fork();
    if (child == 0) {
        // A test killed for taking too long takes its copy with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == parent)
            execv(copy.constData(), argv);
        _exit(127);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return child < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QString privateFolder()
{
    return QString::fromLocal8Bit(qgetenv(kFolderVariable));
}

} // namespace testsupport
