#pragma once

#include <cstdint>
#include <functional>

struct wl_display;
struct wl_event_queue;
struct wl_registry;

// Calls `offered` for each global the compositor announces, within one round
// trip on `queue`, so that nothing else of the application is dispatched
// meanwhile. What it binds from the registry lies on that queue.
void forEachGlobal(wl_display *display, wl_event_queue *queue,
    const std::function<void(wl_registry *, uint32_t name, const char *interface, uint32_t version)>
        &offered);
