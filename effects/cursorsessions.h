#pragma once

#include <QPoint>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_output;
struct wl_pointer;
struct wl_seat;
struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;

// Where the pointer is, as newer wlroots compositors tell any program through
// ext-image-copy-capture: a cursor session per output reports the pointer's
// hotspot while it is over that output, whatever surface it is over. Its
// events come on the display's default queue, with the rest of the
// application's.
class CursorSessions
{
public:
    struct Output
    {
        wl_output *output;
        QRect geometry; // on the whole desktop, in logical pixels
        qreal scale; // buffer pixels to a logical one
    };

    // Null where the compositor offers no cursor sessions.
    static std::unique_ptr<CursorSessions> open(
        wl_display *display, wl_seat *seat, const std::vector<Output> &outputs);
    ~CursorSessions();
    CursorSessions(const CursorSessions &) = delete;
    CursorSessions &operator=(const CursorSessions &) = delete;

    // On the whole desktop, in logical pixels; the origin until an output
    // first tells it.
    QPoint position() const { return position_; }
    // Called at each new position, within the queue's dispatch.
    std::function<void()> moved;

private:
    struct Session;
    CursorSessions() = default;
    void heard(const Session &session, int x, int y);

    wl_display *display_ = nullptr;
    ext_image_copy_capture_manager_v1 *capture_ = nullptr;
    ext_output_image_capture_source_manager_v1 *sources_ = nullptr;
    wl_pointer *pointer_ = nullptr;
    std::vector<std::unique_ptr<Session>> sessions_;
    QPoint position_;
};
