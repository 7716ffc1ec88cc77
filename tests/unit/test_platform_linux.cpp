// The Linux services against real processes and files. Effect programs here
// carry names unique to this run, so that those of a program running on the
// same machine are neither found nor killed.
#include "platform/platform.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 20000;

// A process that ends while its /proc entry is read makes the read fail with
// ESRCH. That moment cannot be had on demand, so while armed, reading this
// one file fails that way.
std::atomic<bool> armed { false };
char vanishing[64];
std::atomic<int> failedReads { 0 };

bool isVanishing(int fd)
{
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    return length > 0 && (target[length] = '\0', std::strcmp(target, vanishing) == 0);
}

void arm(pid_t pid)
{
    std::snprintf(vanishing, sizeof vanishing, "/proc/%d/stat", int(pid));
    failedReads = 0;
    armed = true;
}

// The state letter from /proc/PID/stat, or 0 once the process is gone.
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const int close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text.at(close + 2) : 0;
}

// Processes of exactly that kernel name, zombies too if asked.
QList<pid_t> processesNamed(const QString &name, bool withZombies = false)
{
    QList<pid_t> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (entry.toInt() > 0 && comm.open(QIODevice::ReadOnly)
            && comm.readAll().trimmed() == name.toLocal8Bit()
            && (withZombies || processState(entry.toInt()) != 'Z'))
            found << entry.toInt();
    }
    return found;
}

// The kill command as the program runs it.
int run(const std::string &command)
{
    QStringList arguments = QProcess::splitCommand(QString::fromStdString(command));
    return QProcess::execute(arguments.takeFirst(), arguments);
}

// Stops itself until it is killed, without touching its standard input.
QString writeStandIn(const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nkill -STOP $$\n") < 0)
        return {};
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file.fileName();
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    if (armed && isVanishing(fd)) {
        ++failedReads;
        errno = ESRCH;
        return -1;
    }
    return syscall(SYS_read, fd, buffer, count);
}

class TestPlatformLinux : public QObject
{
    Q_OBJECT

    std::unique_ptr<platform::Platform> platform = platform::createPlatform();
    QTemporaryDir temp;
    // Unique per run and short enough for the kernel's process name.
    const QString effect = QStringLiteral("Fx%1").arg(QCoreApplication::applicationPid());
    const std::string effectExe = (effect + ".exe").toStdString();
    QString standIn;
    QList<pid_t> children;

    // A child in a process group of its own, killed and reaped at cleanup.
    pid_t spawn(const QString &program, const char *argument = nullptr)
    {
        const QByteArray path = QFile::encodeName(program);
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            execl(path.constData(), path.constData(), argument, static_cast<char *>(nullptr));
            _exit(127);
        }
        children << pid;
        return pid;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        standIn = writeStandIn(temp.path(), effect);
        QVERIFY(!standIn.isEmpty());
    }

    void cleanup()
    {
        armed = false;
        for (pid_t pid : children) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        children.clear();
        // Started detached: not ours to reap, only to kill.
        QProcess::execute("pkill", { "-KILL", "-x", effect });
        QTRY_VERIFY_WITH_TIMEOUT(processesNamed(effect, true).isEmpty(), deadlineMs);
    }

    void findsOnlyTheExactName_data()
    {
        QTest::addColumn<bool>("longName");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("found");
        QTest::newRow("other case") << false << effect.toLower() + ".exe" << false;
        QTest::newRow("prefix") << false << effect.chopped(1) + ".exe" << false;
        QTest::newRow("suffix") << false << effect.mid(1) + ".exe" << false;
        QTest::newRow("longer") << false << effect + "0.exe" << false;
        QTest::newRow("empty") << false << QString() << false;
        QTest::newRow("exact") << false << effect + ".exe" << true;
        // The kernel keeps fifteen bytes of a name; the rest is the executable's.
        QTest::newRow("same first fifteen") << true << "LongEffectProgOther.exe" << false;
        QTest::newRow("the first fifteen") << true << "LongEffectProgr.exe" << false;
        QTest::newRow("whole long name") << true << "LongEffectProgram.exe" << true;
    }

    void findsOnlyTheExactName()
    {
        QFETCH(bool, longName);
        QFETCH(QString, wanted);
        QFETCH(bool, found);
        if (longName) {
            // A copy of a real program: a script's executable is its interpreter.
            const QString copy = temp.filePath(QStringLiteral("LongEffectProgram"));
            QVERIFY(QFile::exists(copy) || QFile::copy(QStandardPaths::findExecutable("sleep"), copy));
            spawn(copy, "300");
        } else {
            spawn(standIn);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            !processesNamed(longName ? "LongEffectProgr" : effect).isEmpty(), deadlineMs);
        QCOMPARE(platform->findProcess(wanted.toStdString()), found);
    }

    void killedButUnreapedProgramIsNotFound()
    {
        const pid_t pid = spawn(standIn);
        QTRY_VERIFY_WITH_TIMEOUT(platform->findProcess(effectExe), deadlineMs);
        // Not waited for: a zombie until cleanup reaps it.
        kill(-pid, SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(processState(pid), 'Z', deadlineMs);
        QVERIFY(!platform->findProcess(effectExe));
    }

    void vanishingProcessIsPassedOver()
    {
        const pid_t pid = spawn(standIn);
        QTRY_VERIFY_WITH_TIMEOUT(platform->findProcess(effectExe), deadlineMs);
        // Some other process vanishes on the way through /proc.
        arm(getpid());
        QVERIFY(!platform->findProcess("Absent.exe"));
        QVERIFY(failedReads > 0);
        // The program itself vanishes as it is read: gone.
        arm(pid);
        QVERIFY(!platform->findProcess(effectExe));
        QVERIFY(failedReads > 0);
    }

    void startFailsWithoutARunnableProgram_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("executable");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("not executable") << QByteArray("#!/bin/sh\nsleep 300\n") << false;
        QTest::newRow("no interpreter") << QByteArray("#!/nonexistent/sh\nsleep 300\n") << true;
        QTest::newRow("not a program") << QByteArray("\177ELF garbage") << true;
    }

    void startFailsWithoutARunnableProgram()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, executable);
        QTemporaryDir appDir;
        QFile file(appDir.filePath(effect));
        if (!contents.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) > 0);
            file.setPermissions(QFile::ReadOwner | (executable ? QFile::ExeOwner : QFile::Permissions()));
        }
        QVERIFY(!platform->startProgram(appDir.path().toStdString(), effectExe));
    }

    void startedProgramRunsDetachedAndIsKilled_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "plain";
        QTest::newRow("blanks and other scripts") << "with blanks 测试 \"quoted\"";
    }

    void startedProgramRunsDetachedAndIsKilled()
    {
        QFETCH(QString, folder);
        const QString appDir = temp.filePath(folder);
        QVERIFY(!writeStandIn(appDir, effect).isEmpty());
        QCOMPARE(platform->killCommand("Dotrix.exe"), std::string("pkill -KILL -x Dotrix"));
        QCOMPARE(run(platform->killCommand(effectExe)), 1); // nothing to stop yet

        // Our standard input is a pipe while the program starts: not to be handed on.
        const int savedInput = dup(STDIN_FILENO);
        int input[2];
        QCOMPARE(pipe(input), 0);
        dup2(input[0], STDIN_FILENO);
        const bool started = platform->startProgram(appDir.toStdString(), effectExe);
        dup2(savedInput, STDIN_FILENO);
        for (int fd : { savedInput, input[0], input[1] })
            close(fd);
        QVERIFY(started);
        QTRY_COMPARE_WITH_TIMEOUT(processesNamed(effect).size(), 1, deadlineMs);
        const pid_t pid = processesNamed(effect).first();
        QVERIFY(platform->findProcess(effectExe));
        QVERIFY(getsid(pid) != getsid(0));
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(pid)), QStringLiteral("/dev/null"));
        // Nothing of the start is left for us to reap.
        QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);

        QCOMPARE(run(platform->killCommand(effectExe)), 0);
        QTRY_VERIFY_WITH_TIMEOUT(processesNamed(effect).isEmpty(), deadlineMs);
    }

    void autostartEntry_data()
    {
        QTest::addColumn<QString>("configHome"); // in the temporary folder; "-" unset
        QTest::addColumn<QString>("appFilePath");
        QTest::addColumn<QString>("exec"); // empty: nothing can be written
        QTest::addColumn<QString>("icon");
        auto row
            = [](const char *name, const char *home, const char *path, const char *exec, const char *icon) {
                  QTest::newRow(name) << home << QString::fromUtf8(path) << QString::fromUtf8(exec)
                                      << QString::fromUtf8(icon);
              };
        const char *plain[]
            = { "/opt/q/quorvant", R"(Exec="/opt/q/quorvant" -bg)", "Icon=/opt/q/data/11.png" };
        row("config home", "config", plain[0], plain[1], plain[2]);
        row("config home not yet there", "new/config", plain[0], plain[1], plain[2]);
        row("config home unset", "-", plain[0], plain[1], plain[2]);
        row("relative config home is ignored", "relative", plain[0], plain[1], plain[2]);
        row("a file in the way", "file", plain[0], "", "");
        row("blanks", "config", "/a b/quorvant", R"(Exec="/a b/quorvant" -bg)", "Icon=/a b/data/11.png");
        row("quote, dollar, backquote", "config", R"(/a/"x" $HOME `id`/quorvant)",
            R"(Exec="/a/\\"x\\" \\$HOME \\`id\\`/quorvant" -bg)", R"(Icon=/a/"x" $HOME `id`/data/11.png)");
        row("backslash", "config", R"(/a\b/quorvant)", R"(Exec="/a\\\\b/quorvant" -bg)",
            R"(Icon=/a\\b/data/11.png)");
        row("percent", "config", "/100%u/quorvant", R"(Exec="/100%%u/quorvant" -bg)",
            "Icon=/100%u/data/11.png");
        row("newline", "config", "/a\nb/quorvant", R"(Exec="/a\nb/quorvant" -bg)",
            R"(Icon=/a\nb/data/11.png)");
        row("other scripts", "config", "/用户/quorvant", R"(Exec="/用户/quorvant" -bg)",
            "Icon=/用户/data/11.png");
    }

    void autostartEntry()
    {
        QFETCH(QString, configHome);
        QFETCH(QString, appFilePath);
        QFETCH(QString, exec);
        QFETCH(QString, icon);
        QTemporaryDir root;
        for (const char *dir : { "home", "config" })
            QDir(root.path()).mkpath(dir);
        QFile(root.filePath("file")).open(QIODevice::WriteOnly);
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(root.filePath("home")));
        qputenv("XDG_CONFIG_HOME",
            configHome == "relative" ? "relative" : QFile::encodeName(root.filePath(configHome)));
        if (configHome == "-")
            qunsetenv("XDG_CONFIG_HOME");
        // Rewritten whole at every start, here over a longer entry.
        const bool written = platform->writeAutostart("/opt/a very long folder name indeed/quorvant")
            && platform->writeAutostart(appFilePath.toStdString());
        qputenv("HOME", oldHome);
        QCOMPARE(written, !exec.isEmpty());
        if (!written)
            return;

        const QDir dir(root.filePath(configHome.startsWith("new") || configHome == "config" ? configHome
                                                                                            : "home/.config")
            + "/autostart");
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), QStringList { "Quorvant.desktop" });
        QFile entry(dir.filePath("Quorvant.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
        QCOMPARE(lines.filter(QRegularExpression("^Exec=")), QStringList { exec });
        QCOMPARE(lines.filter(QRegularExpression("^Icon=")), QStringList { icon });
    }
};

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "test_platform_linux.moc"
