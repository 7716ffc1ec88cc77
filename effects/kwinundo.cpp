#include "kwinundo.h"

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <dbus/dbus.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

int stepsFd = -1; // the writing end; closed as this process ends

void callKWin(
    DBusConnection *bus, const char *path, const char *interface, const char *method, const QString &argument)
{
    DBusMessage *call = dbus_message_new_method_call("org.kde.KWin", path, interface, method);
    if (!call)
        return;
    const QByteArray utf8 = argument.toUtf8();
    const char *text = utf8.constData();
    dbus_message_append_args(call, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
    // Waits for the answer: a step may need the one before it done.
    if (DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, call, 5000, nullptr))
        dbus_message_unref(reply);
    dbus_message_unref(call);
}

void carryOut(DBusConnection *bus, const QStringList &step)
{
    const QString &what = step.value(0);
    if (what == QLatin1String("unloadScript"))
        callKWin(bus, "/Scripting", "org.kde.kwin.Scripting", "unloadScript", step.value(1));
    else if (what == QLatin1String("unloadEffect") || what == QLatin1String("reconfigureEffect"))
        callKWin(bus, "/Effects", "org.kde.kwin.Effects", qPrintable(what), step.value(1));
    else if (what == QLatin1String("restore")) {
        QMap<QString, QString> entries;
        for (int i = 3; i + 1 < step.size(); i += 2)
            entries.insert(step.at(i), step.at(i + 1));
        setEntries(step.value(1), step.value(2), entries);
    }
}

[[noreturn]] void keep(int steps, int ready)
{
    // A terminal's interrupt reaches the whole group; this process waits for
    // the effect's end instead.
    for (int signal : { SIGINT, SIGTERM, SIGHUP })
        std::signal(signal, SIG_IGN);
    QByteArray name = QByteArray(program_invocation_short_name).left(10) + "-undo";
    ::prctl(PR_SET_NAME, name.constData());

    // The previous copy of this effect may still be undoing its own steps.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString lockPath = (runtime.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(runtime))
        + QStringLiteral("/quorvant-%1-kwin.lock").arg(QString::fromLocal8Bit(program_invocation_short_name));
    const int lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (lock >= 0 && ::flock(lock, LOCK_EX) < 0 && errno == EINTR) { }
    const char byte = 1;
    while (::write(ready, &byte, 1) < 0 && errno == EINTR) { }
    ::close(ready);

    QByteArray heard;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(steps, buffer, sizeof buffer);
        if (got > 0)
            heard.append(buffer, int(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (bus) {
        dbus_connection_set_exit_on_disconnect(bus, false);
        QDataStream in(heard);
        while (!in.atEnd()) {
            QStringList step;
            in >> step;
            if (in.status() != QDataStream::Ok)
                break;
            carryOut(bus, step);
        }
        dbus_connection_close(bus);
    }
    ::_exit(0);
}

void send(const QStringList &step)
{
    if (stepsFd < 0)
        return;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << step;
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(stepsFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return;
        done += wrote;
    }
}

} // namespace

namespace kwinundo {

void start()
{
    int steps[2], ready[2];
    if (::pipe2(steps, O_CLOEXEC) != 0)
        return;
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        ::close(steps[0]);
        ::close(steps[1]);
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(steps[1]);
        ::close(ready[0]);
        keep(steps[0], ready[1]);
    }
    ::close(steps[0]);
    ::close(ready[1]);
    if (pid < 0) {
        ::close(steps[1]);
        ::close(ready[0]);
        return;
    }
    stepsFd = steps[1];
    char byte;
    while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) { }
    ::close(ready[0]);
}

void unloadScript(const QString &plugin)
{
    send({ QStringLiteral("unloadScript"), plugin });
}

void unloadEffect(const QString &effect)
{
    send({ QStringLiteral("unloadEffect"), effect });
}

void reconfigureEffect(const QString &effect)
{
    send({ QStringLiteral("reconfigureEffect"), effect });
}

void restoreEntries(const QString &path, const QString &group, const QMap<QString, QString> &entries)
{
    QStringList step { QStringLiteral("restore"), path, group };
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        step << it.key() << it.value();
    send(step);
}

} // namespace kwinundo

QMap<QString, QString> setEntries(
    const QString &path, const QString &group, const QMap<QString, QString> &entries)
{
    QFile in(path);
    QStringList lines;
    if (in.open(QIODevice::ReadOnly | QIODevice::Text))
        lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    in.close();
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();

    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    int begin = int(lines.indexOf(header));
    if (begin < 0) {
        lines << QString() << header;
        begin = int(lines.size()) - 1;
    }
    int end = begin + 1;
    while (end < lines.size() && !lines.at(end).startsWith(QLatin1Char('[')))
        ++end;

    QMap<QString, QString> former;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        former.insert(it.key(), QString());
    for (int i = end - 1; i > begin; --i) {
        const QString key = lines.at(i).section(QLatin1Char('='), 0, 0).trimmed();
        if (!entries.contains(key) || !lines.at(i).contains(QLatin1Char('=')))
            continue;
        former[key] = lines.at(i).section(QLatin1Char('='), 1);
        lines.removeAt(i);
        --end;
    }
    int at = end;
    while (at > begin + 1 && lines.at(at - 1).trimmed().isEmpty())
        --at;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        if (!it.value().isEmpty())
            lines.insert(at++, it.key() + QLatin1Char('=') + it.value());

    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly | QIODevice::Text)) {
        out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        out.commit();
    }
    return former;
}
