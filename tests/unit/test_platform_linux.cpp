// The Linux services against real processes and files. Effect programs here
// carry names unique to this test run, so that effect programs of a program
// running on the same machine are neither found nor killed.
#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a process may take to appear or vanish on a busy machine.
constexpr int deadlineMs = 20000;

// The process state letter from /proc/PID/stat, or 0 once it is gone.
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text.at(close + 2) : 0;
}

pid_t parentOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toInt() : 0;
}

// Processes whose kernel name is exactly that: live ones, or also those
// that have ended but are not yet reaped.
QList<pid_t> processesNamed(const QByteArray &name, bool withZombies = false)
{
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name
            && (withZombies || processState(pid) != 'Z'))
            found << pid;
    }
    return found;
}

// A child of this test in a process group of its own, killed with its group
// and reaped when it goes out of scope.
class Child
{
public:
    Child(const QString &program, const QStringList &arguments = {})
    {
        std::vector<QByteArray> storage { program.toLocal8Bit() };
        for (const QString &argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &item : storage)
            argv.push_back(item.data());
        argv.push_back(nullptr);
        const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
        pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            dup2(devNull, STDIN_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(devNull);
    }
    ~Child()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        reap();
    }
    void reap()
    {
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        pid = 0;
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    pid_t pid = 0;
};

// The kill command as the program runs it.
int run(const QString &command)
{
    QStringList arguments = QProcess::splitCommand(command);
    const QString program = arguments.takeFirst();
    return QProcess::execute(program, arguments);
}

// A program started detached is not ours to reap: its process group is
// killed and init reaps it.
void killDetached(const QByteArray &name)
{
    for (pid_t pid : processesNamed(name)) {
        const pid_t group = getpgid(pid);
        if (group > 1 && group != getpgid(0))
            kill(-group, SIGKILL);
        kill(pid, SIGKILL);
    }
}

} // namespace

class TestPlatformLinux : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void findsOnlyTheExactName_data();
    void findsOnlyTheExactName();
    void longNamesAreToldApartByTheirExecutable_data();
    void longNamesAreToldApartByTheirExecutable();
    void killedButUnreapedProgramIsNotFound();
    void startFailsWithoutARunnableProgram_data();
    void startFailsWithoutARunnableProgram();
    void startedProgramRunsDetached_data();
    void startedProgramRunsDetached();
    void killCommandStopsTheProgram();
    void autostartEntryQuotesThePath_data();
    void autostartEntryQuotesThePath();
    void autostartEntryIsRewrittenWhole();
    void autostartFollowsTheConfigHome_data();
    void autostartFollowsTheConfigHome();

private:
    QString writeStandIn(const QString &dir, const QString &name);

    std::unique_ptr<platform::Platform> platform = platform::createPlatform();
    QTemporaryDir temp;
    // Unique per run and short enough for the kernel's process name.
    QString effectName = QStringLiteral("Fx%1").arg(QCoreApplication::applicationPid());
    QString standIn;
};

QString TestPlatformLinux::writeStandIn(const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    // Stops itself until it is killed, without starting another process
    // under the same name or touching its standard input.
    file.write("#!/bin/sh\nkill -STOP $$\n");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void TestPlatformLinux::initTestCase()
{
    QVERIFY(temp.isValid());
    standIn = writeStandIn(temp.path(), effectName);
    QVERIFY(!standIn.isEmpty());
}

void TestPlatformLinux::cleanup()
{
    killDetached(effectName.toLocal8Bit());
    QTRY_VERIFY_WITH_TIMEOUT(processesNamed(effectName.toLocal8Bit(), true).isEmpty(), deadlineMs);
}

void TestPlatformLinux::findsOnlyTheExactName_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("found");
    QTest::newRow("other case") << effectName.toLower() + ".exe" << false;
    QTest::newRow("prefix") << effectName.chopped(1) + ".exe" << false;
    QTest::newRow("suffix") << effectName.mid(1) + ".exe" << false;
    QTest::newRow("longer") << effectName + "0.exe" << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("exact") << effectName + ".exe" << true;
}

void TestPlatformLinux::findsOnlyTheExactName()
{
    QFETCH(QString, wanted);
    QFETCH(bool, found);
    Child effect(standIn);
    QTRY_VERIFY_WITH_TIMEOUT(!processesNamed(effectName.toLocal8Bit()).isEmpty(), deadlineMs);
    QCOMPARE(platform->findProcess(wanted.toStdString()), found);
}

void TestPlatformLinux::longNamesAreToldApartByTheirExecutable_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("found");
    QTest::newRow("same first fifteen") << "LongEffectProgOther.exe" << false;
    QTest::newRow("the first fifteen") << "LongEffectProgr.exe" << false;
    QTest::newRow("whole name") << "LongEffectProgram.exe" << true;
}

void TestPlatformLinux::longNamesAreToldApartByTheirExecutable()
{
    QFETCH(QString, wanted);
    QFETCH(bool, found);
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(!sleep.isEmpty());
    const QString dir = temp.path() + QStringLiteral("/long");
    QDir().mkpath(dir);
    const QString copy = dir + QStringLiteral("/LongEffectProgram");
    QVERIFY(QFile::exists(copy) || QFile::copy(sleep, copy));
    Child effect(copy, { QStringLiteral("300") });
    QTRY_VERIFY_WITH_TIMEOUT(!processesNamed("LongEffectProgr").isEmpty(), deadlineMs);
    QCOMPARE(platform->findProcess(wanted.toStdString()), found);
}

void TestPlatformLinux::killedButUnreapedProgramIsNotFound()
{
    const std::string wanted = (effectName + ".exe").toStdString();
    Child effect(standIn);
    QTRY_VERIFY_WITH_TIMEOUT(platform->findProcess(wanted), deadlineMs);

    // Not waited for: it stays a zombie until it is reaped below.
    kill(-effect.pid, SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(processState(effect.pid), 'Z', deadlineMs);
    QVERIFY(!platform->findProcess(wanted));
    effect.reap();
}

void TestPlatformLinux::startFailsWithoutARunnableProgram_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("executable");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("not executable") << QByteArray("#!/bin/sh\nsleep 300\n") << false;
    QTest::newRow("no interpreter") << QByteArray("#!/nonexistent/sh\nsleep 300\n") << true;
    QTest::newRow("not a program") << QByteArray("\x7f"
                                                 "ELF garbage")
                                   << true;
}

void TestPlatformLinux::startFailsWithoutARunnableProgram()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, executable);
    QTemporaryDir appDir;
    QVERIFY(appDir.isValid());
    if (!contents.isEmpty()) {
        QFile file(appDir.filePath(effectName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.setPermissions(
            QFile::ReadOwner | QFile::WriteOwner | (executable ? QFile::ExeOwner : QFile::Permissions()));
    }
    QVERIFY(!platform->startProgram(appDir.path().toStdString(), (effectName + ".exe").toStdString()));
}

void TestPlatformLinux::startedProgramRunsDetached_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "plain";
    QTest::newRow("blanks and other scripts") << "with blanks 测试 \"quoted\"";
}

void TestPlatformLinux::startedProgramRunsDetached()
{
    QFETCH(QString, folder);
    const QString appDir = temp.path() + QLatin1Char('/') + folder;
    QVERIFY(!writeStandIn(appDir, effectName).isEmpty());

    // Our own standard input is a pipe while the program starts: it must not
    // be handed on.
    const int savedInput = dup(STDIN_FILENO);
    int input[2];
    QCOMPARE(pipe(input), 0);
    dup2(input[0], STDIN_FILENO);
    const bool started = platform->startProgram(appDir.toStdString(), (effectName + ".exe").toStdString());
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(input[0]);
    close(input[1]);
    QVERIFY(started);
    QTRY_VERIFY_WITH_TIMEOUT(processesNamed(effectName.toLocal8Bit()).size() == 1, deadlineMs);
    const pid_t effect = processesNamed(effectName.toLocal8Bit()).first();
    QVERIFY(platform->findProcess((effectName + ".exe").toStdString()));

    QVERIFY(parentOf(effect) != getpid());
    QVERIFY(getsid(effect) != getsid(0));
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(effect)), QStringLiteral("/dev/null"));
    // Nothing of the start is left for us to reap.
    QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);
}

void TestPlatformLinux::killCommandStopsTheProgram()
{
    QCOMPARE(
        QString::fromStdString(platform->killCommand("Dotrix.exe")), QStringLiteral("pkill -KILL -x Dotrix"));
    QCOMPARE(
        QString::fromStdString(platform->killCommand("Halvix.exe")), QStringLiteral("pkill -KILL -x Halvix"));

    const QString command
        = QString::fromStdString(platform->killCommand((effectName + ".exe").toStdString()));
    QCOMPARE(run(command), 1); // nothing to stop yet

    QVERIFY(platform->startProgram(temp.path().toStdString(), (effectName + ".exe").toStdString()));
    QTRY_VERIFY_WITH_TIMEOUT(platform->findProcess((effectName + ".exe").toStdString()), deadlineMs);
    QCOMPARE(run(command), 0);
    QTRY_VERIFY_WITH_TIMEOUT(processesNamed(effectName.toLocal8Bit()).isEmpty(), deadlineMs);
}

void TestPlatformLinux::autostartEntryQuotesThePath_data()
{
    QTest::addColumn<QString>("appFilePath");
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("icon");
    QTest::newRow("plain") << "/opt/quorvant/quorvant"
                           << R"(Exec="/opt/quorvant/quorvant" -bg)"
                           << "Icon=/opt/quorvant/data/11.png";
    QTest::newRow("blanks") << "/home/a b/Pen Tools/quorvant"
                            << R"(Exec="/home/a b/Pen Tools/quorvant" -bg)"
                            << "Icon=/home/a b/Pen Tools/data/11.png";
    QTest::newRow("quote, dollar, backquote") << R"(/home/a/"x" $HOME `id`/quorvant)"
                                              << R"(Exec="/home/a/\\"x\\" \\$HOME \\`id\\`/quorvant" -bg)"
                                              << R"(Icon=/home/a/"x" $HOME `id`/data/11.png)";
    QTest::newRow("backslash") << R"(/srv/a\b/quorvant)"
                               << R"(Exec="/srv/a\\\\b/quorvant" -bg)"
                               << R"(Icon=/srv/a\\b/data/11.png)";
    QTest::newRow("percent") << "/srv/100%u/quorvant"
                             << R"(Exec="/srv/100%%u/quorvant" -bg)"
                             << "Icon=/srv/100%u/data/11.png";
    QTest::newRow("newline") << "/srv/a\nb/quorvant"
                             << R"(Exec="/srv/a\nb/quorvant" -bg)"
                             << R"(Icon=/srv/a\nb/data/11.png)";
    QTest::newRow("other scripts") << "/home/用户/测试/quorvant"
                                   << R"(Exec="/home/用户/测试/quorvant" -bg)"
                                   << "Icon=/home/用户/测试/data/11.png";
}

void TestPlatformLinux::autostartEntryQuotesThePath()
{
    QFETCH(QString, appFilePath);
    QFETCH(QString, exec);
    QFETCH(QString, icon);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QVERIFY(platform->writeAutostart(appFilePath.toStdString()));
    QFile entry(config.path() + QStringLiteral("/autostart/Quorvant.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name=Quorvant")));
    QVERIFY(lines.contains(QStringLiteral("X-GNOME-Autostart-enabled=true")));
    QVERIFY(!lines.filter(QRegularExpression(QStringLiteral("^Comment=."))).isEmpty());
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Exec="))), QStringList { exec });
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Icon="))), QStringList { icon });
}

void TestPlatformLinux::autostartEntryIsRewrittenWhole()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString dir = config.path() + QStringLiteral("/autostart");

    QVERIFY(platform->writeAutostart("/opt/a very long folder name indeed/quorvant"));
    QVERIFY(platform->writeAutostart("/b/quorvant"));
    QFile entry(dir + QStringLiteral("/Quorvant.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    QVERIFY(text.contains(QStringLiteral("Exec=\"/b/quorvant\" -bg\n")));
    QVERIFY(!text.contains(QStringLiteral("indeed")));
    QVERIFY(text.endsWith(QLatin1Char('\n')));
    // No temporary file is left behind.
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "Quorvant.desktop" });
}

void TestPlatformLinux::autostartFollowsTheConfigHome_data()
{
    QTest::addColumn<QString>("xdgConfigHome"); // relative to the temporary folder; "-" unset
    QTest::addColumn<QString>("expected"); // where the entry lands; empty when nothing is written
    QTest::newRow("config home") << "config"
                                 << "config/autostart/Quorvant.desktop";
    QTest::newRow("config home not yet there") << "new/config"
                                               << "new/config/autostart/Quorvant.desktop";
    QTest::newRow("unset") << "-"
                           << "home/.config/autostart/Quorvant.desktop";
    QTest::newRow("relative, so ignored") << "relative"
                                          << "home/.config/autostart/Quorvant.desktop";
    QTest::newRow("a file in the way") << "file" << QString();
}

void TestPlatformLinux::autostartFollowsTheConfigHome()
{
    QFETCH(QString, xdgConfigHome);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir(root.path()).mkpath(QStringLiteral("home"));
    QDir(root.path()).mkpath(QStringLiteral("config"));
    QFile blocker(root.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", root.filePath(QStringLiteral("home")).toLocal8Bit());
    if (xdgConfigHome == QLatin1String("-"))
        qunsetenv("XDG_CONFIG_HOME");
    else if (xdgConfigHome == QLatin1String("relative"))
        qputenv("XDG_CONFIG_HOME", "relative");
    else
        qputenv("XDG_CONFIG_HOME", root.filePath(xdgConfigHome).toLocal8Bit());

    const bool written = platform->writeAutostart("/opt/quorvant/quorvant");
    qputenv("HOME", oldHome);
    QCOMPARE(written, !expected.isEmpty());
    if (written)
        QVERIFY(QFile::exists(root.filePath(expected)));
}

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "test_platform_linux.moc"
