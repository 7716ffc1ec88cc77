// A process that ends while the look-up by name reads its /proc entry: the
// read fails with ESRCH, and the look-up must take the process as gone
// instead of failing itself.
//
// That moment cannot be had on demand, so this test stands in for the C
// library's read: while armed, reading one chosen /proc file fails as it does
// once its process has ended.
#include <QtTest>

#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

std::atomic<bool> armed { false };
char vanishing[64];
std::atomic<int> failedReads { 0 };

bool isVanishing(int fd)
{
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    return std::strcmp(target, vanishing) == 0;
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    if (armed.load() && isVanishing(fd)) {
        ++failedReads;
        errno = ESRCH;
        return -1;
    }
    return syscall(SYS_read, fd, buffer, count);
}

class TestPlatformVanishing : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temp;
    // Unique per run and short enough for the kernel's process name.
    QString name = QStringLiteral("Vx%1").arg(QCoreApplication::applicationPid());
    pid_t standIn = 0;

    void arm(pid_t pid)
    {
        std::snprintf(vanishing, sizeof vanishing, "/proc/%d/stat", int(pid));
        failedReads = 0;
        armed = true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        const QString path = temp.filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // Stops itself until it is killed, under its own name.
        file.write("#!/bin/sh\nkill -STOP $$\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray program = QFile::encodeName(path);
        standIn = fork();
        if (standIn == 0) {
            // Goes with this test, should the test itself fail by crashing.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
            _exit(127);
        }
        QVERIFY(standIn > 0);
        int status = 0;
        QCOMPARE(waitpid(standIn, &status, WUNTRACED), standIn);
        QVERIFY(WIFSTOPPED(status));
    }

    void cleanupTestCase()
    {
        armed = false;
        if (standIn > 0) {
            kill(standIn, SIGKILL);
            waitpid(standIn, nullptr, 0);
        }
    }

    void cleanup() { armed = false; }

    void vanishingProcessIsPassedOver()
    {
        auto platform = platform::createPlatform();
        const std::string wanted = name.toStdString() + ".exe";
        QVERIFY(platform->findProcess(wanted));

        // Every entry is read on the way through /proc; this one vanishes.
        arm(getpid());
        QVERIFY(!platform->findProcess("Absent.exe"));
        QVERIFY(failedReads > 0);

        // The program itself, vanishing as it is read, is not found.
        arm(standIn);
        QVERIFY(!platform->findProcess(wanted));
        QVERIFY(failedReads > 0);

        armed = false;
        QVERIFY(platform->findProcess(wanted));
    }
};

QTEST_GUILESS_MAIN(TestPlatformVanishing)
#include "test_platform_vanishing.moc"
