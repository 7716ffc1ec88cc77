// The Linux services against real processes and files. Effect programs here
// have names of this run alone, so that no running program's are touched.
#include "platform/platform.h"
#include "platform/privatefolder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

constexpr int deadlineMs = 20000;

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

        // Started by hand, it is found through /proc.
        const pid_t child = spawn();
        QTRY_VERIFY_WITH_TIMEOUT(platform->isRunning(dir, effectExe), deadlineMs);
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
        const auto comm = [](pid_t pid) {
            QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
            return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
        };
        for (pid_t pid : strangers)
            QTRY_COMPARE_WITH_TIMEOUT(comm(pid), effect.toUtf8(), deadlineMs);
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
        for (pid_t pid : strangers) {
            siginfo_t info = {};
            QVERIFY(waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0);
        }
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

    // The entry a session starts the program by, in the user's configuration
    // folder: its path quoted and escaped, rewritten whole at every start, and
    // what the user turned off kept off. None for a path others could change,
    // as a session would start whatever they put there, and none left from
    // before. None either when the package's entry starts the program: one of
    // ours from before goes, or turns the package's off when the user had
    // turned it off.
    void autostart_data()
    {
        QTest::addColumn<QString>("configHome"); // below the temporary home; "-" unset
        QTest::addColumn<QString>("appPath"); // below a folder of the build tree only we may write
        QTest::addColumn<QString>(
            "how"); // "package": its entry starts the program; "open <path>" made writable by the group
        QTest::addColumn<QByteArray>("before"); // the user's entry beforehand, %1 the program; null: none
        QTest::addColumn<QStringList>("after"); // the user's entry, then its lines of interest; %1 the folder
        const auto row = [](const char *name, const char *home, const char *path, const char *how,
                             const char *before, const QStringList &after) {
            QTest::newRow(name) << home << QString::fromUtf8(path) << how << QByteArray(before) << after;
        };
        const auto plain
            = [&](const char *name, const char *home, const char *path, const char *exec, const char *icon) {
                  row(name, home, path, "", nullptr,
                      { "Quorvant.desktop", QString::fromUtf8(exec), QString::fromUtf8(icon),
                          "X-GNOME-Autostart-enabled=true" });
              };
        const char *ours = "Exec=\"%1\" -bg\n";
        row("a file in the way", "file", "/q/quorvant", "", nullptr, {});
        // A backslash is escaped once as a string and once as an argument; a
        // percent sign is doubled.
        plain("quote, dollar, backquote, backslash; config home unset", "-",
            R"(/a\b/"x" $HOME `id`/quorvant)", R"(Exec="%1/a\\\\b/\\"x\\" \\$HOME \\`id\\`/quorvant" -bg)",
            R"(Icon=%1/a\\b/"x" $HOME `id`/data/11.png)");
        plain("percent, other scripts; config home not yet there", "new/config", "/用户/100%u/quorvant",
            "Exec=\"%1/用户/100%%u/quorvant\" -bg", "Icon=%1/用户/100%u/data/11.png");
        plain("newline; relative config home ignored", "relative", "/a\nb/quorvant",
            R"(Exec="%1/a\nb/quorvant" -bg)", R"(Icon=%1/a\nb/data/11.png)");
        row("a longer one rewritten, turned off both ways", "config", "/q/quorvant", "",
            "Exec=/a very long folder name indeed/quorvant -bg\nHidden = "
            "true\nX-GNOME-Autostart-enabled=false\n"
            "[Desktop Action x]\nHidden=false\n",
            { "Quorvant.desktop", R"(Exec="%1/q/quorvant" -bg)", "Icon=%1/q/data/11.png", "Hidden=true",
                "X-GNOME-Autostart-enabled=false" });
        row("the program open to others", "config", "/q/quorvant", "open /q/quorvant", ours, {});
        row("a folder further up open to others", "config", "/q/quorvant", "open ", ours, {});
        row("package, ours enabled", "config", "/lib/quorvant", "package",
            "Exec=\"%1\" -bg\nX-GNOME-Autostart-enabled=true\n", {});
        row("package, ours turned off", "config", "/lib/quorvant", "package",
            "Exec=\"%1\" -bg\nHidden=true\n",
            { "quorvant.desktop", R"(Exec="%1/lib/quorvant" -bg)", "Hidden=true" });
        // Another program's entry of the user's own is not ours to remove.
        row("package, another program's", "config", "/lib/quorvant", "package", "Exec=/other/quorvant\n",
            { "Quorvant.desktop", "Exec=/other/quorvant" });
    }

    void autostart()
    {
        QFETCH(QString, configHome);
        QFETCH(QString, appPath);
        QFETCH(QString, how);
        QFETCH(QByteArray, before);
        QFETCH(QStringList, after);
        QTemporaryDir safe(QCoreApplication::applicationDirPath() + "/autostart-XXXXXX"), home;
        QVERIFY(QFile::setPermissions(safe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (QFileInfo info(safe.path()); !info.isRoot(); info = QFileInfo(info.path()))
            if (info.permission(QFile::WriteGroup | QFile::WriteOther))
                QSKIP("the build tree is in a folder others can write");
        const QString root = home.path(), program = safe.path() + appPath;
        QVERIFY(QDir().mkpath(QFileInfo(program).path()) && QDir(root).mkpath("home")
            && QDir(root).mkpath("config"));
        QFile(program).open(QIODevice::WriteOnly);
        QFile(root + "/file").open(QIODevice::WriteOnly);
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QDir folder(root + '/'
            + (configHome.startsWith("new") || configHome == "config" ? configHome : "home/.config")
            + "/autostart");
        const auto put = [](const QString &path, const QByteArray &contents) {
            QFile file(path);
            return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
                && file.write(contents) == contents.size();
        };
        if (!before.isNull())
            QVERIFY(put(folder.filePath("Quorvant.desktop"),
                "[Desktop Entry]\n" + before.replace("%1", QFile::encodeName(program))));
        if (how == "package") {
            // The package's entry starts the program through a link, as /usr/bin's.
            QVERIFY(QFile::link(program, safe.filePath("quorvant")));
            QVERIFY(put(root + "/xdg/autostart/quorvant.desktop",
                "[Desktop Entry]\nType=Application\nExec=" + QFile::encodeName(safe.filePath("quorvant"))
                    + " -bg\n"));
        } else if (how.startsWith("open ")) {
            const QString open = safe.path() + how.mid(5);
            QVERIFY(QFile::setPermissions(open, QFile::permissions(open) | QFile::WriteGroup));
        }

        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(root + "/home"));
        qputenv("XDG_CONFIG_HOME",
            configHome == "relative" ? "relative" : QFile::encodeName(root + '/' + configHome));
        if (configHome == "-")
            qunsetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + "/xdg"));
        const bool written = platform->writeAutostart(program.toStdString());
        qputenv("HOME", oldHome);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");

        QCOMPARE(written, how == "package" || !after.isEmpty());
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), after.mid(0, 1));
        QFile entry(folder.filePath(after.value(0)));
        const QStringList lines = entry.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(entry.readAll()).split('\n', Qt::SkipEmptyParts)
            : QStringList();
        QCOMPARE(lines.filter(QRegularExpression("^(Exec|Icon|Hidden|X-GNOME-Autostart-enabled)=")),
            after.mid(1).replaceInStrings("%1", safe.path()));
    }
};

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "test_platform_linux.moc"
