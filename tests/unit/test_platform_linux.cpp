// The Linux services against real processes and files. Effect programs here
// have names of this run alone, so that no running program's are touched.
#include "platform/platform.h"
#include "platform/privatefolder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    const std::string effectExe = effect.toStdString();
    // The effect program's folder, in a name that needs quoting and is no Latin-1.
    const QString appDir = temp.filePath("with blanks 测试 \"quoted\"");
    const std::string dir = appDir.toStdString();
    QList<pid_t> children;

    // A program file, as a child in a process group of its own, killed and
    // reaped at cleanup; run by another user when one is given.
    pid_t spawn(const QString &file = QString(), uid_t user = 0)
    {
        const QByteArray path = QFile::encodeName(file.isEmpty() ? appDir + '/' + effect : file);
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            if (user && (setgid(user) != 0 || setuid(user) != 0))
                _exit(126);
            execl(path.constData(), path.constData(), static_cast<char *>(nullptr));
            _exit(127);
        }
        children << pid;
        return pid;
    }

    static QByteArray readAll(pid_t pid, const char *what)
    {
        QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(what)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool alive(pid_t pid)
    {
        siginfo_t info = {};
        return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }

    // A program of the effect's name elsewhere: the stand-in, or a script.
    QString impostor(const QString &folder, const QByteArray &script = QByteArray())
    {
        const QString path = temp.filePath(folder) + '/' + effect;
        QDir().mkpath(temp.filePath(folder));
        if (script.isEmpty()) {
            QFile::copy(appDir + '/' + effect, path);
        } else {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(script);
        }
        QFile(path).setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        return path;
    }

private slots:
    void initTestCase()
    {
        // Waits until it is killed, without touching its standard input.
        QVERIFY(QDir().mkpath(appDir));
        QVERIFY(
            QFile::copy(QCoreApplication::applicationDirPath() + "/quorvant-standin", appDir + '/' + effect));
        // Others may run it: a test runs it as another user.
        for (QString folder = appDir; folder.startsWith(temp.path()); folder = QFileInfo(folder).path())
            QFile(folder).setPermissions(QFile(folder).permissions() | QFile::ReadOther | QFile::ExeOther);
    }

    void cleanup()
    {
        armed = false;
        for (pid_t pid : children) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        children.clear();
        // Started detached: not ours to reap, only to kill, zombies and all.
        QProcess::execute("pkill", { "-KILL", "-x", effect });
        QTRY_COMPARE_WITH_TIMEOUT(QProcess::execute("pkill", { "-0", "-x", effect }), 1, deadlineMs);
    }

    // Started detached, found by its exact name alone, and gone when the stop
    // returns, so that it can be started anew; a file that cannot run is not
    // started.
    void startFindAndStop()
    {
        QCOMPARE(platform->programFile("Dotrix"), std::string("Dotrix"));
        // Missing, not executable, without its interpreter, not a program.
        const struct
        {
            const char *contents;
            bool executable;
        } unrunnable[] = { { nullptr, false }, { "#!/bin/sh\nsleep 300\n", false },
            { "#!/nonexistent/sh\nsleep 300\n", true }, { "\177ELF garbage", true } };
        for (const auto &file : unrunnable) {
            QTemporaryDir folder;
            QFile program(folder.filePath(effect));
            if (file.contents) {
                QVERIFY(program.open(QIODevice::WriteOnly) && program.write(file.contents) > 0);
                program.setPermissions(
                    QFile::ReadOwner | (file.executable ? QFile::ExeOwner : QFile::Permissions()));
                program.close();
            }
            QVERIFY2(!platform->startProgram(folder.path().toStdString(), effectExe),
                file.contents ? file.contents : "missing");
        }

        QCOMPARE(platform->stopProgram(dir, effectExe), 1); // nothing to stop yet
        QVERIFY(platform->startProgram(dir, effectExe));
        QTRY_VERIFY_WITH_TIMEOUT(platform->isRunning(dir, effectExe), deadlineMs);
        for (const QString &other :
            { effect.toLower(), effect.chopped(1), effect.mid(1), effect + "0", QString() })
            QVERIFY2(!platform->isRunning(dir, other.toStdString()), qPrintable(other));
        QProcess pgrep;
        pgrep.start("pgrep", { "-x", effect });
        QVERIFY(pgrep.waitForFinished());
        const pid_t pid = pgrep.readAll().trimmed().toInt();
        QVERIFY(pid > 0 && getsid(pid) != getsid(0));
        // Nothing of the start is left for us to reap.
        QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);

        QCOMPARE(platform->stopProgram(dir, effectExe), 0);
        QVERIFY(!platform->isRunning(dir, effectExe));

        // Started by hand, it is found through /proc, where a process that
        // vanishes on the way is passed over, whether it is some other one or
        // the one looked for.
        const pid_t child = spawn();
        QTRY_VERIFY_WITH_TIMEOUT(platform->isRunning(dir, effectExe), deadlineMs);
        arm(getpid());
        QVERIFY(!platform->isRunning(dir, "Absent"));
        QVERIFY(failedReads > 0);
        arm(child);
        QVERIFY(!platform->isRunning(dir, effectExe));
        QVERIFY(failedReads > 0);
        armed = false;
        // Killed but not yet reaped, it runs no more.
        kill(-child, SIGKILL);
        siginfo_t info;
        QCOMPARE(waitid(P_PID, child, &info, WEXITED | WNOWAIT), 0);
        QVERIFY(!platform->isRunning(dir, effectExe));
    }

    // Only this user's processes of the very file, or the one started here,
    // are the effect program: others that bear its name are neither found nor
    // stopped, and do not stand in the way of the real one.
    void knownByWhoItIsNotByItsName()
    {
        const QByteArray script = "#!/bin/sh\nkill -STOP $$\n";
        QList<pid_t> strangers { spawn(impostor("elsewhere")), spawn(impostor("script", script)) };
        if (getuid() == 0)
            strangers << spawn(appDir + '/' + effect, 65534);
        for (pid_t pid : strangers)
            QTRY_COMPARE_WITH_TIMEOUT(readAll(pid, "comm").trimmed(), effect.toUtf8(), deadlineMs);
        QVERIFY(!platform->isRunning(dir, effectExe));
        QCOMPARE(platform->stopProgram(dir, effectExe), 1);

        QVERIFY(platform->startProgram(dir, effectExe));
        QVERIFY(platform->isRunning(dir, effectExe));
        QCOMPARE(platform->stopProgram(dir, effectExe), 0);
        QVERIFY(!platform->isRunning(dir, effectExe));

        // A script runs the shell, yet the one started here is known as its own.
        const std::string scripts = temp.filePath("script").toStdString();
        QVERIFY(platform->startProgram(scripts, effectExe));
        QVERIFY(platform->isRunning(scripts, effectExe));
        QCOMPARE(platform->stopProgram(scripts, effectExe), 0);
        QVERIFY(!platform->isRunning(scripts, effectExe));
        for (pid_t pid : strangers)
            QVERIFY2(alive(pid), qPrintable(QString::number(pid)));
    }

    void privateFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // $XDG_RUNTIME_DIR: own, open, foreign, file, unset
        QTest::addColumn<QString>("inside"); // quorvant in it, before: own, open, link, or none
        QTest::addColumn<QString>("temp"); // quorvant-<uid> in $TMPDIR, before: the same
        QTest::addColumn<QString>("chosen"); // runtime, temp, or none
        const auto row
            = [](const char *name, const char *runtime, const char *inside, const char *temp,
                  const char *chosen) { QTest::newRow(name) << runtime << inside << temp << chosen; };
        row("own runtime folder", "own", "", "", "runtime");
        row("its folder kept", "own", "own", "", "runtime");
        row("runtime folder open to the group", "open", "", "", "temp");
        row("runtime folder of another user", "foreign", "", "", "temp");
        row("runtime folder a file", "file", "", "", "temp");
        row("no runtime folder", "unset", "", "", "temp");
        row("open to others in the runtime folder", "own", "open", "", "");
        row("a link in the runtime folder", "own", "link", "", "");
        row("temporary one kept", "unset", "", "own", "temp");
        row("temporary one open to others", "unset", "", "open", "");
        row("temporary one of another user", "unset", "", "foreign", "");
        row("temporary one a link to an own folder", "unset", "", "link", "");
    }

    void privateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, inside);
        QFETCH(QString, temp);
        QFETCH(QString, chosen);
        if (getuid() != 0 && (runtime + temp).contains("foreign"))
            QSKIP("only root makes another user's folder");
        QTemporaryDir root;
        const QString run = root.filePath("run"), tmp = root.filePath("tmp");
        const QString inRun = run + "/quorvant", inTmp = tmp + "/quorvant-" + QString::number(getuid());
        const auto make = [&](const QString &path, const QString &how) {
            const QByteArray name = QFile::encodeName(path);
            if (how == "file")
                QFile(path).open(QIODevice::WriteOnly);
            else if (how == "link")
                QVERIFY(QDir().mkpath(root.filePath("own")) && QFile::link(root.filePath("own"), path));
            else if (!how.isEmpty() && how != "unset")
                QVERIFY(mkdir(name, how == "open" ? 0777 : 0700) == 0
                    && chmod(name, how == "open" ? 0770 : 0700) == 0
                    && (how != "foreign" || chown(name, 65534, 65534) == 0));
        };
        QVERIFY(QDir().mkpath(tmp));
        make(run, runtime);
        make(inRun, inside);
        make(inTmp, temp);
        const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldTmp = qgetenv("TMPDIR");
        runtime == "unset" ? qunsetenv("XDG_RUNTIME_DIR")
                           : qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        qputenv("TMPDIR", QFile::encodeName(tmp));
        const QString found = QFile::decodeName(platform::privateFolder().c_str());
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qputenv("TMPDIR", oldTmp);

        QCOMPARE(found, chosen == "runtime" ? inRun : chosen == "temp" ? inTmp : QString());
        struct stat info;
        QVERIFY(found.isEmpty()
            || (lstat(QFile::encodeName(found), &info) == 0 && S_ISDIR(info.st_mode)
                && (info.st_mode & 0777) == 0700));
    }

private:
    // The autostart entry names an executable that must exist in folders
    // no one else may write: the tests' own are made beside this test's
    // executable, in the build tree.
    struct AutostartFixture
    {
        QTemporaryDir safe { QCoreApplication::applicationDirPath() + "/autostart-XXXXXX" };
        QTemporaryDir home;

        AutostartFixture()
        {
            QFile::setPermissions(safe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
            qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.filePath("xdg")));
        }
        ~AutostartFixture()
        {
            qunsetenv("XDG_CONFIG_HOME");
            qunsetenv("XDG_CONFIG_DIRS");
        }
        // An executable file at that path below the safe folder.
        QString program(const QString &path) const
        {
            const QString file = safe.path() + path;
            QDir().mkpath(QFileInfo(file).path());
            QFile program(file);
            program.open(QIODevice::WriteOnly);
            program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            return file;
        }
        QString entryPath(const char *name = "Quorvant.desktop") const
        {
            return home.filePath(QStringLiteral("config/autostart/") + name);
        }
        QStringList entry(const char *name = "Quorvant.desktop") const
        {
            QFile file(entryPath(name));
            return file.open(QIODevice::ReadOnly)
                ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                : QStringList();
        }
        static bool put(const QString &path, const QByteArray &contents)
        {
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
        }
    };

    static bool safeToWriteFrom(const QString &folder)
    {
        for (QFileInfo info(folder); !info.isRoot(); info = QFileInfo(info.path()))
            if (info.permission(QFile::WriteGroup | QFile::WriteOther))
                return false;
        return true;
    }

private slots:
    void autostartEntry_data()
    {
        QTest::addColumn<QString>("configHome"); // in the temporary folder; "-" unset
        QTest::addColumn<QString>("appPath"); // below the safe folder
        QTest::addColumn<QString>("exec"); // after Exec="<safe folder>; empty: nothing can be written
        QTest::addColumn<QString>("icon"); // after Icon=<safe folder>
        QTest::addColumn<QString>("open"); // below the safe folder, given `mode` before the second write
        QTest::addColumn<int>("mode");
        auto row = [](const char *name, const char *home, const char *path, const char *exec,
                       const char *icon, const char *open = "", int mode = 0) {
            QTest::newRow(name) << home << QString::fromUtf8(path) << QString::fromUtf8(exec)
                                << QString::fromUtf8(icon) << open << mode;
        };
        auto plain = [&](const char *name, const char *home, const char *exec = R"(/q/quorvant" -bg)") {
            row(name, home, "/q/quorvant", exec, "/q/data/11.png");
        };
        plain("config home not yet there", "new/config");
        plain("config home unset", "-");
        plain("relative config home is ignored", "relative");
        plain("a file in the way", "file", "");
        row("quote, dollar, backquote", "config", R"(/a/"x" $HOME `id`/quorvant)",
            R"(/a/\\"x\\" \\$HOME \\`id\\`/quorvant" -bg)", R"(/a/"x" $HOME `id`/data/11.png)");
        // A backslash is escaped once as a string and once as an argument; a
        // percent sign is doubled.
        row("backslash", "config", R"(/a\b/quorvant)", R"(/a\\\\b/quorvant" -bg)", R"(/a\\b/data/11.png)");
        row("percent", "config", "/100%u/quorvant", R"(/100%%u/quorvant" -bg)", "/100%u/data/11.png");
        row("newline", "config", "/a\nb/quorvant", R"(/a\nb/quorvant" -bg)", R"(/a\nb/data/11.png)");
        row("other scripts", "config", "/用户/quorvant", R"(/用户/quorvant" -bg)", "/用户/data/11.png");
        // A session would start whatever someone else put at that path: no
        // entry, and none left behind from before. A sticky folder, as /tmp,
        // counts as open too.
        row("the program open to others", "config", "/q/quorvant", "", "", "/q/quorvant", 0770);
        row("its folder open to others", "config", "/q/quorvant", "", "", "/q", 0770);
        row("a folder further up open to others", "config", "/q/quorvant", "", "", "", 0770);
        row("a sticky folder", "config", "/q/quorvant", "", "", "/q", 01777);
    }

    void autostartEntry()
    {
        QFETCH(QString, configHome);
        QFETCH(QString, appPath);
        QFETCH(QString, exec);
        QFETCH(QString, icon);
        QFETCH(QString, open);
        QFETCH(int, mode);
        AutostartFixture fixture;
        if (!safeToWriteFrom(fixture.safe.path()))
            QSKIP("the build tree is in a folder others can write");
        const QString root = fixture.home.path();
        for (const char *dir : { "home", "config" })
            QDir(root).mkpath(dir);
        QFile(root + "/file").open(QIODevice::WriteOnly);
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(root + "/home"));
        qputenv("XDG_CONFIG_HOME",
            configHome == "relative" ? "relative" : QFile::encodeName(root + '/' + configHome));
        if (configHome == "-")
            qunsetenv("XDG_CONFIG_HOME");
        // Rewritten whole at every start, here over a longer entry; the one
        // refused goes over its own.
        const bool first = platform->writeAutostart(
            fixture.program(mode ? appPath : "/a very long folder name indeed/quorvant").toStdString());
        const QString program = fixture.program(appPath);
        if (mode)
            QVERIFY(::chmod(QFile::encodeName(fixture.safe.path() + open), mode_t(mode)) == 0);
        const bool written = first && platform->writeAutostart(program.toStdString());
        qputenv("HOME", oldHome);
        QCOMPARE(written, !exec.isEmpty());
        const QDir dir(root + '/'
            + (configHome.startsWith("new") || configHome == "config" ? configHome : "home/.config")
            + "/autostart");
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden),
            written ? QStringList { "Quorvant.desktop" } : QStringList());
        if (!written)
            return;
        QFile entry(dir.filePath("Quorvant.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(QRegularExpression("^Exec=")),
            QStringList { "Exec=\"" + fixture.safe.path() + exec });
        QCOMPARE(
            lines.filter(QRegularExpression("^Icon=")), QStringList { "Icon=" + fixture.safe.path() + icon });
        QCOMPARE(lines.filter(QRegularExpression("^(Hidden|X-GNOME-Autostart-enabled)=")),
            QStringList { "X-GNOME-Autostart-enabled=true" });
    }

    // What the user turned off stays off, whichever way it was done, when the
    // entry is written anew for a program that moved. Installed by the
    // package, the program is started by the package's entry: it writes none
    // of its own, and one it wrote before goes (or turns the package's off,
    // when the user had turned it off).
    void autostartKeepsTheUsersChoice_data()
    {
        QTest::addColumn<bool>("package"); // the package's entry starts this program
        QTest::addColumn<QByteArray>("before"); // the user's entry's keys; null: none
        QTest::addColumn<QStringList>("after"); // the user's autostart folder, then its entry's keys
        QTest::newRow("moved, turned off both ways")
            << false
            << QByteArray(
                   "Hidden = true\nX-GNOME-Autostart-enabled=false\n[Desktop Action x]\nHidden=false\n")
            << QStringList { "Quorvant.desktop", "Hidden=true", "X-GNOME-Autostart-enabled=false" };
        QTest::newRow("package, none") << true << QByteArray() << QStringList();
        QTest::newRow("package, enabled")
            << true << QByteArray("X-GNOME-Autostart-enabled=true\n") << QStringList();
        QTest::newRow("package, turned off")
            << true << QByteArray("Hidden=true\n") << QStringList { "quorvant.desktop", "Hidden=true" };
    }

    void autostartKeepsTheUsersChoice()
    {
        QFETCH(bool, package);
        QFETCH(QByteArray, before);
        QFETCH(QStringList, after);
        AutostartFixture fixture;
        if (!safeToWriteFrom(fixture.safe.path()))
            QSKIP("the build tree is in a folder others can write");
        const QString program = fixture.program("/lib/quorvant");
        // The package's entry starts the program through a link, as /usr/bin's.
        QVERIFY(QFile::link(program, fixture.safe.filePath("quorvant")));
        if (package)
            QVERIFY(fixture.put(fixture.home.filePath("xdg/autostart/quorvant.desktop"),
                "[Desktop Entry]\nType=Application\nExec="
                    + QFile::encodeName(fixture.safe.filePath("quorvant")) + " -bg\n"));
        if (!before.isNull())
            QVERIFY(fixture.put(fixture.entryPath(),
                "[Desktop Entry]\nExec=\""
                    + (package ? QFile::encodeName(program) : QByteArray("/old/quorvant")) + "\" -bg\n"
                    + before));
        QVERIFY(platform->writeAutostart(program.toStdString()));
        QCOMPARE(QDir(fixture.home.filePath("config/autostart")).entryList(QDir::Files), after.mid(0, 1));
        const QStringList lines = after.isEmpty() ? QStringList() : fixture.entry(qPrintable(after.first()));
        QCOMPARE(lines.filter(QRegularExpression("^(Hidden|X-GNOME-Autostart-enabled)=")), after.mid(1));
        if (!package) {
            QCOMPARE(
                lines.filter(QRegularExpression("^Exec=")), QStringList { "Exec=\"" + program + "\" -bg" });
            return;
        }

        // Another program's entry of the user's own is not ours to remove.
        const QString other = fixture.program("/other/quorvant");
        QVERIFY(fixture.put(fixture.entryPath(), "[Desktop Entry]\nExec=" + QFile::encodeName(other) + "\n"));
        QVERIFY(platform->writeAutostart(program.toStdString()));
        QCOMPARE(fixture.entry(), (QStringList { "[Desktop Entry]", "Exec=" + other }));
    }
};

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "test_platform_linux.moc"
