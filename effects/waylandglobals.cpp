#include "waylandglobals.h"

#include <wayland-client.h>

void forEachGlobal(wl_display *display, wl_event_queue *queue,
    const std::function<void(wl_registry *, uint32_t name, const char *interface, uint32_t version)> &offered)
{
    using Offered = std::function<void(wl_registry *, uint32_t, const char *, uint32_t)>;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
            (*static_cast<const Offered *>(data))(registry, name, interface, version);
        },
        [](void *, wl_registry *, uint32_t) {},
    };
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_registry_add_listener(registry, &listener, const_cast<Offered *>(&offered));
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
}
