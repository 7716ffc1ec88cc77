#include "cursorsessions.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"

#include <cmath>
#include <cstring>
#include <wayland-client.h>

namespace {

struct Globals
{
    ext_image_copy_capture_manager_v1 *capture = nullptr;
    ext_output_image_capture_source_manager_v1 *sources = nullptr;
};

const wl_registry_listener kRegistryListener = {
    [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
        auto *globals = static_cast<Globals *>(data);
        if (!strcmp(interface, ext_image_copy_capture_manager_v1_interface.name))
            globals->capture = static_cast<ext_image_copy_capture_manager_v1 *>(
                wl_registry_bind(registry, name, &ext_image_copy_capture_manager_v1_interface, 1));
        else if (!strcmp(interface, ext_output_image_capture_source_manager_v1_interface.name))
            globals->sources = static_cast<ext_output_image_capture_source_manager_v1 *>(
                wl_registry_bind(registry, name, &ext_output_image_capture_source_manager_v1_interface, 1));
    },
    [](void *, wl_registry *, uint32_t) {},
};

} // namespace

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
    // The globals are looked for on a queue of this call's own, so that
    // nothing else is dispatched meanwhile.
    wl_event_queue *queue = wl_display_create_queue(display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    if (globals.capture)
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(globals.capture), nullptr);
    if (globals.sources)
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(globals.sources), nullptr);
    wl_event_queue_destroy(queue);

    std::unique_ptr<CursorSessions> sessions(new CursorSessions);
    sessions->display_ = display;
    sessions->capture_ = globals.capture;
    sessions->sources_ = globals.sources;
    if (!globals.capture || !globals.sources)
        return nullptr;

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
            = ext_output_image_capture_source_manager_v1_create_source(globals.sources, output.output);
        session->cursor = ext_image_copy_capture_manager_v1_create_pointer_cursor_session(
            globals.capture, session->source, sessions->pointer_);
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
