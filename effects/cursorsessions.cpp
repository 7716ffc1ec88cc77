#include "cursorsessions.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "waylandglobals.h"

#include <cmath>
#include <cstring>
#include <wayland-client.h>

struct CursorSessions::Session
{
    CursorSessions *owner;
    Output output;
    ext_image_capture_source_v1 *source = nullptr;
    ext_image_copy_capture_cursor_session_v1 *cursor = nullptr;
};

std::unique_ptr<CursorSessions> CursorSessions::open(
    wl_display *display, wl_seat *seat, const std::vector<Output> &outputs)
{
    if (!display || !seat)
        return nullptr;
    // Made first, so that it releases whatever is bound should the rest be missing.
    std::unique_ptr<CursorSessions> sessions(new CursorSessions);
    sessions->display_ = display;
    wl_event_queue *queue = wl_display_create_queue(display);
    forEachGlobal(display, queue, [&](wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
        if (!strcmp(interface, ext_image_copy_capture_manager_v1_interface.name))
            sessions->capture_ = static_cast<ext_image_copy_capture_manager_v1 *>(
                wl_registry_bind(registry, name, &ext_image_copy_capture_manager_v1_interface, 1));
        else if (!strcmp(interface, ext_output_image_capture_source_manager_v1_interface.name))
            sessions->sources_ = static_cast<ext_output_image_capture_source_manager_v1 *>(
                wl_registry_bind(registry, name, &ext_output_image_capture_source_manager_v1_interface, 1));
    });
    // Their sessions' news comes with the application's own.
    wl_event_queue_destroy(queue);
    if (!sessions->capture_ || !sessions->sources_)
        return nullptr;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(sessions->capture_), nullptr);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(sessions->sources_), nullptr);

    static const ext_image_copy_capture_cursor_session_v1_listener listener = {
        [](void *, ext_image_copy_capture_cursor_session_v1 *) {},
        [](void *, ext_image_copy_capture_cursor_session_v1 *) {},
        [](void *data, ext_image_copy_capture_cursor_session_v1 *, int32_t x, int32_t y) {
            auto *session = static_cast<Session *>(data);
            session->owner->heard(*session, x, y);
        },
        [](void *, ext_image_copy_capture_cursor_session_v1 *, int32_t, int32_t) {},
    };
    sessions->pointer_ = wl_seat_get_pointer(seat);
    for (const Output &output : outputs) {
        auto session = std::make_unique<Session>(Session { sessions.get(), output });
        session->source
            = ext_output_image_capture_source_manager_v1_create_source(sessions->sources_, output.output);
        session->cursor = ext_image_copy_capture_manager_v1_create_pointer_cursor_session(
            sessions->capture_, session->source, sessions->pointer_);
        ext_image_copy_capture_cursor_session_v1_add_listener(session->cursor, &listener, session.get());
        sessions->sessions_.push_back(std::move(session));
    }
    wl_display_flush(display);
    return sessions;
}

CursorSessions::~CursorSessions()
{
    for (const auto &session : sessions_) {
        ext_image_copy_capture_cursor_session_v1_destroy(session->cursor);
        ext_image_capture_source_v1_destroy(session->source);
    }
    if (pointer_)
        wl_pointer_destroy(pointer_);
    if (capture_)
        ext_image_copy_capture_manager_v1_destroy(capture_);
    if (sources_)
        ext_output_image_capture_source_manager_v1_destroy(sources_);
    if (display_)
        wl_display_flush(display_);
}

void CursorSessions::heard(const Session &session, int x, int y)
{
    // The hotspot in the output's buffer pixels, which may lie beyond its
    // edges while the cursor's image still overlaps it.
    const QRect &on = session.output.geometry;
    const qreal scale = session.output.scale > 0 ? session.output.scale : 1.0;
    const QPoint position = on.topLeft() + QPoint(int(std::lround(x / scale)), int(std::lround(y / scale)));
    if (!on.contains(position) || position == position_)
        return;
    position_ = position;
    if (moved)
        moved();
}
