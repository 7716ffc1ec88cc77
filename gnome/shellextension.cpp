#include "gnome/shellextension.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStandardPaths>
#include <QVariantMap>

namespace gnome {

namespace {

const char kShell[] = "org.gnome.Shell";
const char kShellPath[] = "/org/gnome/Shell";
const char kExtensions[] = "org.gnome.Shell.Extensions";

constexpr int kCallMs = 3000;

bool hasOwner(const QDBusConnection &bus, const char *name)
{
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
    return reply.isValid() && reply.value();
}

} // namespace

QString extensionUuid()
{
    return QStringLiteral(QUORVANT_GNOME_EXTENSION_UUID);
}

ExtensionState extensionState(const QDBusConnection &bus)
{
    ExtensionFacts facts;
    facts.shellRunning = bus.isConnected() && hasOwner(bus, kShell);
    if (facts.shellRunning) {
        QDBusMessage call
            = QDBusMessage::createMethodCall(QString::fromLatin1(kShell), QString::fromLatin1(kShellPath),
                QString::fromLatin1(kExtensions), QStringLiteral("GetExtensionInfo"));
        call << extensionUuid();
        const QDBusReply<QVariantMap> info = bus.call(call, QDBus::Block, kCallMs);
        if (info.isValid() && info.value().contains(QStringLiteral("state")))
            facts.shellState = info.value().value(QStringLiteral("state")).toInt();
        facts.serviceRunning = hasOwner(bus, kService);
        const QString metadata
            = QStringLiteral("gnome-shell/extensions/%1/metadata.json").arg(extensionUuid());
        facts.installed = !QStandardPaths::locate(QStandardPaths::GenericDataLocation, metadata).isEmpty();
    }
    return stateOf(facts);
}

bool enableExtension(const QDBusConnection &bus)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kShell),
        QString::fromLatin1(kShellPath), QString::fromLatin1(kExtensions), QStringLiteral("EnableExtension"));
    call << extensionUuid();
    const QDBusReply<bool> reply = bus.call(call, QDBus::Block, kCallMs);
    return reply.isValid() && reply.value();
}

Drawing::Drawing(const QDBusConnection &bus)
    : bus_(bus)
{
}

bool Drawing::available() const
{
    return bus_.isConnected() && hasOwner(bus_, kService);
}

bool Drawing::show(const QString &effect, int pixels, int zoom)
{
    return call("Show", { effect, pixels, zoom });
}

bool Drawing::setSize(int pixels)
{
    return call("SetSize", { pixels });
}

void Drawing::hide()
{
    call("Hide", {});
}

bool Drawing::showNotice(const QString &text, int milliseconds)
{
    return call("ShowNotice", { text, milliseconds });
}

bool Drawing::call(const char *method, const QVariantList &args) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService),
        QString::fromLatin1(kPath), QString::fromLatin1(kInterface), QString::fromLatin1(method));
    message.setArguments(args);
    return bus_.call(message, QDBus::Block, kCallMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace gnome
