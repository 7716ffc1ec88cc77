#include "compositereader.h"
#include "desktop.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace desktop {

bool composites()
{
    // Only X11 can run without a compositor; Wayland always composes.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    bool active = false;
    if (!xcb_connection_has_error(connection)) {
        // A compositing manager announces itself by owning this selection.
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            active = owner && owner->owner != XCB_WINDOW_NONE;
            free(owner);
        }
        free(atom);
    }
    xcb_disconnect(connection);
    return active;
}

static int wakeFds[2] = { -1, -1 };

static void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; the event loop does the rest.
    [[maybe_unused]] ssize_t written = ::write(wakeFds[1], &byte, 1);
}

void quitOnTermination()
{
    if (wakeFds[0] >= 0)
        return;
    if (::pipe(wakeFds) != 0)
        return;
    for (int fd : wakeFds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }

    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char buffer[16];
        while (::read(wakeFds[0], buffer, sizeof buffer) > 0) { }
        QCoreApplication::quit();
    });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

namespace {

// XInput2 raw motion, which the server sends every client that selects it on
// the root window, whatever grabs are active, for every device including the
// XTEST one that synthetic input comes from. It carries no position; it only
// says when to look. A connection of its own keeps Qt's event handling out of
// it and wakes nobody but this notifier.
class RawMotion : public PointerMotion
{
public:
    RawMotion(xcb_connection_t *connection, uint8_t opcode)
        : connection_(connection)
        , opcode_(opcode)
        , notifier_(xcb_get_file_descriptor(connection), QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
        drain();
    }
    ~RawMotion() override { xcb_disconnect(connection_); }

private:
    void drain()
    {
        bool motion = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
            const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
            motion |= (event->response_type & 0x7f) == XCB_GE_GENERIC && generic->extension == opcode_
                && generic->event_type == XCB_INPUT_RAW_MOTION;
            free(event);
        }
        // A lost server leaves the socket readable for ever.
        if (xcb_connection_has_error(connection_))
            notifier_.setEnabled(false);
        if (motion)
            emit moved();
    }

    xcb_connection_t *connection_;
    uint8_t opcode_;
    QSocketNotifier notifier_;
};

xcb_screen_t *screenOf(xcb_connection_t *connection, int number)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem && number > 0; --number)
        xcb_screen_next(&it);
    return it.rem ? it.data : nullptr;
}

using Connection = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)>;

// A connection of its own for a watcher, closed again unless handed over to
// the watcher that keeps it.
Connection connectOwn(int &screenNumber)
{
    Connection connection(nullptr, xcb_disconnect);
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return connection;
    connection.reset(xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection.get()))
        connection.reset();
    return connection;
}

template <typename Reply> bool atLeast(Reply *reply, uint32_t major, uint32_t minor)
{
    const bool recent = reply
        && (reply->major_version > major || (reply->major_version == major && reply->minor_version >= minor));
    free(reply);
    return recent;
}

} // namespace

std::unique_ptr<PointerMotion> watchPointer()
{
    int screenNumber = 0;
    Connection owned = connectOwn(screenNumber);
    xcb_connection_t *connection = owned.get();
    if (!connection)
        return nullptr;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_input_id);
    xcb_screen_t *screen = screenOf(connection, screenNumber);
    if (!extension || !extension->present || !screen)
        return nullptr;

    // Raw events reach clients regardless of grabs from version 2.1 on.
    if (!atLeast(xcb_input_xi_query_version_reply(
                     connection, xcb_input_xi_query_version(connection, 2, 2), nullptr),
            2, 1))
        return nullptr;

    struct
    {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask = { { XCB_INPUT_DEVICE_ALL_MASTER, 1 }, XCB_INPUT_XI_EVENT_MASK_RAW_MOTION };
    xcb_generic_error_t *error = xcb_request_check(
        connection, xcb_input_xi_select_events_checked(connection, screen->root, 1, &mask.head));
    free(error);
    if (error)
        return nullptr;
    return std::make_unique<RawMotion>(owned.release(), extension->major_opcode);
}

std::unique_ptr<ScreenReader> readScreen()
{
    int screenNumber = 0;
    Connection owned = connectOwn(screenNumber);
    xcb_connection_t *connection = owned.get();
    if (!connection)
        return nullptr;
    xcb_prefetch_extension_data(connection, &xcb_composite_id);
    xcb_prefetch_extension_data(connection, &xcb_damage_id);
    xcb_prefetch_extension_data(connection, &xcb_shape_id);
    const xcb_query_extension_reply_t *composite = xcb_get_extension_data(connection, &xcb_composite_id);
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(connection, &xcb_damage_id);
    const xcb_query_extension_reply_t *shape = xcb_get_extension_data(connection, &xcb_shape_id);
    const xcb_screen_t *screen = screenOf(connection, screenNumber);
    if (!composite || !composite->present || !damage || !damage->present || !screen
        || !plainPixels(connection, screen))
        return nullptr;
    if (!atLeast(xcb_composite_query_version_reply(
                     connection, xcb_composite_query_version(connection, 0, 2), nullptr),
            0, 2)
        || !atLeast(
            xcb_damage_query_version_reply(connection, xcb_damage_query_version(connection, 1, 1), nullptr),
            1, 1))
        return nullptr;
    // Without the extension a shaped window (a shaped effect's, say) shows as
    // its whole rectangle.
    const uint8_t shapeEvent = shape && shape->present ? shape->first_event : 0;
    return readComposite(owned.release(), screen, damage->first_event, shapeEvent);
}

} // namespace desktop
