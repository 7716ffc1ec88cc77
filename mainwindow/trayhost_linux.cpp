// The hosts of tray icons on a Linux desktop: a StatusNotifierItem host,
// registered with org.kde.StatusNotifierWatcher on the session bus (KDE
// Plasma, GNOME with the AppIndicator extension, most panels), and an XEmbed
// tray manager, the owner of the X selection _NET_SYSTEM_TRAY_S<screen>. Both
// are watched through their own announcements, never by polling: a program
// waiting in the tray must cost nothing while it waits.
#include "mainwindow/trayhost.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
// Qt asks the same watcher right after, with a longer patience still.
constexpr int watcherTimeoutMs = 5000;

QDBusMessage hostRegisteredQuery()
{
    QDBusMessage query = QDBusMessage::createMethodCall(watcherService, watcherPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    query << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return query;
}

bool saysHostRegistered(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

// A tray manager announces itself with a MANAGER message to the root window's
// structure listeners, as the XEmbed system tray protocol has it. Watched on
// a connection of its own, so nothing of Qt's xcb plugin is needed.
class XEmbedTray
{
public:
    explicit XEmbedTray(std::function<void()> appeared)
    {
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem == 0)
            return;
        selection = atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
        manager = atom("MANAGER");
        // Listening first, then looking: a manager that starts in between is
        // seen either way.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, screens.data->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
        notifier
            = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, appeared] {
            if (announced(xcb_poll_for_event))
                appeared();
            if (xcb_connection_has_error(connection))
                notifier->setEnabled(false); // the display is gone
        });
    }

    ~XEmbedTray()
    {
        notifier.reset();
        xcb_disconnect(connection);
    }

    bool present()
    {
        if (!notifier)
            return false;
        xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, selection), nullptr);
        const bool found = owner && owner->owner != XCB_WINDOW_NONE;
        std::free(owner);
        // Events read while waiting for the answer would sit in the queue
        // with the socket quiet; the answer tells all they could.
        announced(xcb_poll_for_queued_event);
        return found;
    }

private:
    xcb_atom_t atom(const QByteArray &name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }

    // Takes the waiting events; whether a tray manager announced itself.
    bool announced(xcb_generic_event_t *(*next)(xcb_connection_t *))
    {
        bool found = false;
        while (xcb_generic_event_t *event = next(connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event);
                found |= message->type == manager && message->format == 32
                    && message->data.data32[1] == selection;
            }
            std::free(event);
        }
        return found;
    }

    xcb_connection_t *connection = nullptr;
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_atom_t manager = XCB_ATOM_NONE;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace

// The session bus's StatusNotifierWatcher: tells when it first has a host,
// and once the program's item is made, keeps that one item registered with
// every watcher that comes. Qt registers its item again with a watcher that
// takes the name, but may ask before the watcher serves its object, and then
// the item is lost to it; a second item made instead would show twice.
class StatusNotifierWatch : public QObject
{
    Q_OBJECT

public:
    explicit StatusNotifierWatch(std::function<void()> appeared)
        : bus(QDBusConnection::sessionBus())
        , appeared(std::move(appeared))
    {
        if (!bus.isConnected())
            return;
        auto *names
            = new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(names, &QDBusServiceWatcher::serviceOwnerChanged, this, &StatusNotifierWatch::ownerChanged);
        // From any sender: a watcher that has just taken the name may say it
        // before this side has learnt who took it.
        bus.connect(QString(), watcherPath, watcherService, QStringLiteral("StatusNotifierHostRegistered"),
            this, SLOT(hostRegistered()));
    }

    bool hostRegisteredNow() const
    {
        return bus.isConnected()
            && saysHostRegistered(bus.call(hostRegisteredQuery(), QDBus::Block, watcherTimeoutMs));
    }

    // The item has been made, with the watcher there now.
    void itemMade() { stage = Stage::KeepingItem; }

private slots:
    void hostRegistered()
    {
        // A watcher that tells is serving.
        switch (stage) {
        case Stage::AwaitingHost:
            appeared();
            break;
        case Stage::KeepingItem:
            keepItemRegistered(ownerChanges, 0);
            break;
        }
    }

private:
    // What a watcher's news means.
    enum class Stage {
        AwaitingHost, // no item yet: a host's coming is told
        KeepingItem, // the item is made: it is registered with every watcher that comes
    };

    void ownerChanged(const QString &, const QString &, const QString &newOwner)
    {
        ++ownerChanges;
        if (newOwner.isEmpty())
            return;
        if (stage == Stage::KeepingItem) {
            keepItemRegistered(ownerChanges, 0);
            return;
        }
        // A panel may bring its host up before its watcher.
        auto *call
            = new QDBusPendingCallWatcher(bus.asyncCall(hostRegisteredQuery(), watcherTimeoutMs), this);
        connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, asked = ownerChanges](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                if (asked == ownerChanges && stage == Stage::AwaitingHost
                    && saysHostRegistered(call->reply()))
                    appeared();
            });
    }

    // Asks the watcher which items it holds and registers the program's if
    // it is not among them. A watcher that has taken its name but does not
    // answer yet is asked again a moment later, a few times.
    void keepItemRegistered(int forWatcher, int attempt)
    {
        QDBusMessage query = QDBusMessage::createMethodCall(watcherService, watcherPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        query << watcherService << QStringLiteral("RegisteredStatusNotifierItems");
        auto *call = new QDBusPendingCallWatcher(bus.asyncCall(query, watcherTimeoutMs), this);
        connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, forWatcher, attempt](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                if (forWatcher != ownerChanges)
                    return;
                const QDBusMessage reply = call->reply();
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                    if (attempt < 5)
                        QTimer::singleShot(100 << attempt, this,
                            [this, forWatcher, attempt] { keepItemRegistered(forWatcher, attempt + 1); });
                    return;
                }
                // Entries are bus names, some with the item's object path after them.
                QStringList held;
                for (const QString &entry :
                    reply.arguments().constFirst().value<QDBusVariant>().variant().toStringList())
                    held << entry.section(QLatin1Char('/'), 0, 0);
                for (const QString &item : ownItems())
                    if (!held.contains(item))
                        bus.asyncCall(QDBusMessage::createMethodCall(watcherService, watcherPath,
                                          watcherService, QStringLiteral("RegisterStatusNotifierItem"))
                            << item);
            });
    }

    // The bus names of this program's items. Qt gives each item a bus
    // connection of its own named after the item's service, and owns that
    // name with it: a name with Qt's pattern is this program's when this
    // process holds a connection by that name.
    QStringList ownItems() const
    {
        const QString prefix
            = QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
        QStringList found;
        const QStringList names = bus.interface()->registeredServiceNames().value();
        for (const QString &name : names)
            if (name.startsWith(prefix) && QDBusConnection(name).isConnected())
                found << name;
        return found;
    }

    QDBusConnection bus;
    std::function<void()> appeared;
    Stage stage = Stage::AwaitingHost;
    // Counts the changes of the watcher name's owner: an answer asked for
    // before the latest change comes from a watcher that is gone.
    int ownerChanges = 0;
};

struct TrayHost::Watch
{
    enum class Stage {
        AwaitingHost, // no icon yet: both kinds of host are watched for
        KeepingItem, // the icon is a StatusNotifierItem, kept registered
        XEmbedIcon, // the icon is Qt's XEmbed icon, which docks by itself
    };
    Stage stage = Stage::AwaitingHost;
    std::unique_ptr<XEmbedTray> xembed;
    std::unique_ptr<StatusNotifierWatch> statusNotifier;
};

TrayHost::TrayHost(QObject *parent)
    : QObject(parent)
{
    const QString platform = QGuiApplication::platformName();
    const bool x11 = platform == QLatin1String("xcb");
    // Elsewhere (offscreen, say) Qt's tray is what it is from the start.
    if (!x11 && !platform.startsWith(QLatin1String("wayland")))
        return;
    watch = std::make_unique<Watch>();
    // Told from the event loop: the icon made on it settles the watches, and
    // may end the one whose handler tells. Once the icon is made, no news.
    const auto appeared = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (watch->stage == Watch::Stage::AwaitingHost)
                    emit hostAppeared();
            },
            Qt::QueuedConnection);
    };
    if (x11)
        watch->xembed = std::make_unique<XEmbedTray>(appeared);
    watch->statusNotifier = std::make_unique<StatusNotifierWatch>(appeared);
}

TrayHost::~TrayHost() = default;

bool TrayHost::available() const
{
    return !watch || (watch->xembed && watch->xembed->present())
        || (watch->statusNotifier && watch->statusNotifier->hostRegisteredNow());
}

void TrayHost::settle()
{
    if (!watch || watch->stage != Watch::Stage::AwaitingHost)
        return;
    // Qt's XEmbed icon follows its tray manager by itself.
    watch->xembed.reset();
    // What Qt is about to ask, a moment later: its answer holds for good.
    if (watch->statusNotifier && watch->statusNotifier->hostRegisteredNow()) {
        watch->stage = Watch::Stage::KeepingItem;
        watch->statusNotifier->itemMade();
    } else {
        watch->stage = Watch::Stage::XEmbedIcon;
        watch->statusNotifier.reset();
    }
}

#include "trayhost_linux.moc"
