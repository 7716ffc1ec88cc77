#include "screencopy.h"

#include "overlay.h"
#include "waylandglobals.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <poll.h>
#include <qpa/qplatformnativeinterface.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

// A compositor that renders nothing for this long has no frame to give.
constexpr int kFrameWaitMs = 1000;
// Between one word of damage and the next question: a busy screen is heard
// of at most this often.
constexpr int kWatchGapMs = 100;
// A surface painted this long before the compositor's last word of damage
// may still have reached the screen after it.
constexpr qint64 kPaintLagMs = 50;

// The globals this reader binds, on a queue of its own, so that waiting for
// a frame dispatches nothing of Qt's.
struct Globals
{
    zwlr_screencopy_manager_v1 *manager = nullptr;
    wl_shm *shm = nullptr;
};

// What the compositor says of one frame.
struct Frame
{
    uint32_t format = 0;
    int width = 0, height = 0, stride = 0;
    bool described = false;
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t format, uint32_t width, uint32_t height,
        uint32_t stride) {
        auto *frame = static_cast<Frame *>(data);
        frame->format = format;
        frame->width = int(width);
        frame->height = int(height);
        frame->stride = int(stride);
        frame->described = true;
    },
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t flags) {
        static_cast<Frame *>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    },
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
        static_cast<Frame *>(data)->ready = true;
    },
    [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Frame *>(data)->failed = true; },
    [](void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {},
    [](void *, zwlr_screencopy_frame_v1 *) {},
};

QImage::Format imageFormat(uint32_t format)
{
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
    case WL_SHM_FORMAT_ARGB8888:
        return QImage::Format_RGB32;
    case WL_SHM_FORMAT_XBGR8888:
    case WL_SHM_FORMAT_ABGR8888:
        return QImage::Format_RGBX8888;
    default:
        return QImage::Format_Invalid;
    }
}

// The memory a frame is copied into, kept for the next frame of its shape:
// the lens reads the same size again and again.
class ShmBuffer
{
public:
    ShmBuffer(wl_shm *shm, const Frame &frame)
        : format_(frame.format)
        , width_(frame.width)
        , height_(frame.height)
        , stride_(frame.stride)
        , bytes_(size_t(frame.stride) * size_t(frame.height))
    {
        const int fd = memfd_create("quorvant-screencopy", MFD_CLOEXEC);
        if (fd < 0)
            return;
        if (ftruncate(fd, off_t(bytes_)) == 0) {
            void *data = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (data != MAP_FAILED) {
                data_ = static_cast<uchar *>(data);
                wl_shm_pool *pool = wl_shm_create_pool(shm, fd, int32_t(bytes_));
                buffer_ = wl_shm_pool_create_buffer(pool, 0, width_, height_, stride_, format_);
                wl_shm_pool_destroy(pool);
            }
        }
        close(fd);
    }
    ~ShmBuffer()
    {
        if (buffer_)
            wl_buffer_destroy(buffer_);
        if (data_)
            munmap(data_, bytes_);
    }
    ShmBuffer(const ShmBuffer &) = delete;
    ShmBuffer &operator=(const ShmBuffer &) = delete;

    bool fits(const Frame &frame) const
    {
        return frame.format == format_ && frame.width == width_ && frame.height == height_
            && frame.stride == stride_;
    }
    wl_buffer *buffer() const { return buffer_; }
    QImage image(bool yInverted) const
    {
        // A view of the memory, which the next frame overwrites: the copy
        // must own its pixels, which a conversion to the same format would not.
        const QImage view(data_, width_, height_, stride_, imageFormat(format_));
        QImage copy = view.format() == QImage::Format_RGB32 ? view.copy()
                                                            : view.convertToFormat(QImage::Format_RGB32);
        return yInverted ? copy.mirrored() : copy;
    }

private:
    uint32_t format_;
    int width_, height_, stride_;
    size_t bytes_;
    uchar *data_ = nullptr;
    wl_buffer *buffer_ = nullptr;
};

class Screencopy : public desktop::ScreenReader
{
public:
    Screencopy(EffectOverlay *overlay, wl_display *display, wl_event_queue *queue, const Globals &globals)
        : overlay_(overlay)
        , display_(display)
        , queue_(queue)
        , globals_(globals)
    {
        // Damage is told as Qt's own events are, which wake this thread.
        watchManager_ = static_cast<zwlr_screencopy_manager_v1 *>(wl_proxy_create_wrapper(globals_.manager));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(watchManager_), nullptr);
        overlay->installEventFilter(this);
        clock_.start();
        watchAgain_.setSingleShot(true);
        connect(&watchAgain_, &QTimer::timeout, this, &Screencopy::watch);
        watchAgain_.start(0);
    }

    ~Screencopy() override
    {
        if (watchFrame_)
            zwlr_screencopy_frame_v1_destroy(watchFrame_);
        watchBuffer_.reset();
        wl_proxy_wrapper_destroy(watchManager_);
        buffer_.reset();
        zwlr_screencopy_manager_v1_destroy(globals_.manager);
        wl_shm_destroy(globals_.shm);
        wl_display_flush(display_);
        wl_event_queue_destroy(queue_);
    }

    QImage read(const QRect &area) override
    {
        if (!overlay_)
            return QImage();
        QScreen *screen = overlay_->targetScreen();
        auto *output = static_cast<wl_output *>(
            QGuiApplication::platformNativeInterface()->nativeResourceForScreen("output", screen));
        // The region is asked for in the output's own logical pixels.
        const qreal ratio = screen->devicePixelRatio();
        const QRect native(screen->geometry().topLeft(), screen->geometry().size() * ratio);
        const QRect part = area & native;
        const QRect logical
            = QRectF(QPointF(part.topLeft() - native.topLeft()) / ratio, QSizeF(part.size()) / ratio)
                  .toAlignedRect();
        if (!output || logical.isEmpty())
            return QImage();

        overlay_->stepAside(true);
        QImage image = capture(output, logical);
        overlay_->stepAside(false);
        if (!image.isNull() && image.size() != part.size())
            image = image.scaled(part.size());
        if (part != area && !image.isNull()) {
            QImage whole(area.size(), QImage::Format_RGB32);
            whole.fill(Qt::black);
            QPainter(&whole).drawImage(part.topLeft() - area.topLeft(), image);
            image = whole;
        }
        return image;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // What the overlay paints, the compositor will call damage.
        if (event->type() == QEvent::Paint)
            painted_.push_back({ clock_.elapsed(), static_cast<QPaintEvent *>(event)->region() });
        return false;
    }

private:
    QImage capture(wl_output *output, const QRect &logical)
    {
        Frame frame;
        zwlr_screencopy_frame_v1 *request = zwlr_screencopy_manager_v1_capture_output_region(
            globals_.manager, 0, output, logical.x(), logical.y(), logical.width(), logical.height());
        zwlr_screencopy_frame_v1_add_listener(request, &kFrameListener, &frame);
        QImage image;
        if (waitFor(frame.described, frame.failed) && imageFormat(frame.format) != QImage::Format_Invalid) {
            if (!buffer_ || !buffer_->fits(frame))
                buffer_ = std::make_unique<ShmBuffer>(globals_.shm, frame);
            if (buffer_->buffer()) {
                zwlr_screencopy_frame_v1_copy(request, buffer_->buffer());
                if (waitFor(frame.ready, frame.failed))
                    image = buffer_->image(frame.yInverted);
            }
        }
        zwlr_screencopy_frame_v1_destroy(request);
        wl_display_flush(display_);
        // Events of Qt's read meanwhile wait for its next dispatch.
        QCoreApplication::eventDispatcher()->wakeUp();
        return image;
    }

    // Asks for one pixel once the output is damaged anywhere: the answer
    // tells where.
    void watch()
    {
        auto *output
            = static_cast<wl_output *>(QGuiApplication::platformNativeInterface()->nativeResourceForScreen(
                "output", overlay_ ? overlay_->targetScreen() : nullptr));
        if (!overlay_ || !output)
            return;
        watched_ = Frame();
        damage_ = QRect();
        watchFrame_ = zwlr_screencopy_manager_v1_capture_output_region(watchManager_, 0, output, 0, 0, 1, 1);
        static const zwlr_screencopy_frame_v1_listener listener = {
            [](void *data, zwlr_screencopy_frame_v1 *frame, uint32_t format, uint32_t width, uint32_t height,
                uint32_t stride) {
                auto *self = static_cast<Screencopy *>(data);
                kFrameListener.buffer(&self->watched_, frame, format, width, height, stride);
                if (!self->watchBuffer_ || !self->watchBuffer_->fits(self->watched_))
                    self->watchBuffer_ = std::make_unique<ShmBuffer>(self->globals_.shm, self->watched_);
                if (self->watchBuffer_->buffer())
                    zwlr_screencopy_frame_v1_copy_with_damage(frame, self->watchBuffer_->buffer());
                else
                    self->heard(false);
            },
            [](void *, zwlr_screencopy_frame_v1 *, uint32_t) {},
            [](void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
                static_cast<Screencopy *>(data)->heard(true);
            },
            [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Screencopy *>(data)->heard(false); },
            [](void *data, zwlr_screencopy_frame_v1 *, uint32_t x, uint32_t y, uint32_t width,
                uint32_t height) {
                static_cast<Screencopy *>(data)->damage_ = QRect(int(x), int(y), int(width), int(height));
            },
            [](void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {},
            [](void *, zwlr_screencopy_frame_v1 *) {},
        };
        zwlr_screencopy_frame_v1_add_listener(watchFrame_, &listener, this);
    }

    // The compositor's answer to watch(), within its dispatch: what follows
    // waits for this thread's next turn.
    void heard(bool ready)
    {
        zwlr_screencopy_frame_v1_destroy(watchFrame_);
        watchFrame_ = nullptr;
        const qint64 now = clock_.elapsed();
        QMetaObject::invokeMethod(
            this, [this, ready, now, damage = damage_] { settle(ready, now, damage); }, Qt::QueuedConnection);
    }

    void settle(bool ready, qint64 now, const QRect &damage)
    {
        // What this overlay painted since the compositor's last answer, or
        // just before it, is not news.
        QRegion own;
        for (const auto &[when, region] : painted_)
            if (when > lastHeard_ - kPaintLagMs && when <= now)
                own += region;
        painted_.erase(std::remove_if(painted_.begin(), painted_.end(),
                           [now](const auto &paint) { return paint.first <= now - kPaintLagMs; }),
            painted_.end());
        lastHeard_ = now;

        if (ready && overlay_ && !damage.isEmpty()) {
            const QScreen *screen = overlay_->targetScreen();
            const qreal ratio = screen->devicePixelRatio();
            const QRect local
                = QRectF(QPointF(damage.topLeft()) / ratio, QSizeF(damage.size()) / ratio).toAlignedRect();
            if (!own.boundingRect().contains(local))
                emit changed(QRect(screen->geometry().topLeft() + damage.topLeft(), damage.size()));
        }
        // A compositor that cannot answer is asked again now and then.
        watchAgain_.start(ready ? kWatchGapMs : kFrameWaitMs);
    }

    // Reads this reader's events until `done` or `failed`, for as long as a
    // frame may take.
    bool waitFor(const bool &done, const bool &failed)
    {
        const QDeadlineTimer deadline(kFrameWaitMs);
        for (;;) {
            if (wl_display_dispatch_queue_pending(display_, queue_) < 0 || failed)
                return false;
            if (done)
                return true;
            if (wl_display_prepare_read_queue(display_, queue_) != 0)
                continue;
            wl_display_flush(display_);
            pollfd socket = { wl_display_get_fd(display_), POLLIN, 0 };
            const qint64 left = deadline.remainingTime();
            if (left <= 0 || poll(&socket, 1, int(left)) <= 0) {
                wl_display_cancel_read(display_);
                return false;
            }
            if (wl_display_read_events(display_) < 0)
                return false;
        }
    }

    QPointer<EffectOverlay> overlay_;
    wl_display *display_;
    wl_event_queue *queue_;
    Globals globals_;
    std::unique_ptr<ShmBuffer> buffer_;

    zwlr_screencopy_manager_v1 *watchManager_ = nullptr;
    zwlr_screencopy_frame_v1 *watchFrame_ = nullptr;
    std::unique_ptr<ShmBuffer> watchBuffer_;
    Frame watched_;
    QRect damage_; // in the output's pixels
    QTimer watchAgain_;
    QElapsedTimer clock_;
    qint64 lastHeard_ = 0;
    std::vector<std::pair<qint64, QRegion>> painted_;
};

} // namespace

std::unique_ptr<desktop::ScreenReader> readThroughScreencopy(EffectOverlay *overlay)
{
    auto *display = static_cast<wl_display *>(
        QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
    if (!display)
        return nullptr;
    wl_event_queue *queue = wl_display_create_queue(display);
    Globals globals;
    forEachGlobal(
        display, queue, [&](wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
            // Version 2 tells of damage, and unlike 3 sends nothing to wait for
            // between the buffer's description and the copy.
            if (!strcmp(interface, zwlr_screencopy_manager_v1_interface.name) && version >= 2)
                globals.manager = static_cast<zwlr_screencopy_manager_v1 *>(
                    wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 2));
            else if (!strcmp(interface, wl_shm_interface.name))
                globals.shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        });
    if (!globals.manager || !globals.shm) {
        if (globals.manager)
            zwlr_screencopy_manager_v1_destroy(globals.manager);
        if (globals.shm)
            wl_shm_destroy(globals.shm);
        wl_event_queue_destroy(queue);
        return nullptr;
    }
    return std::make_unique<Screencopy>(overlay, display, queue, globals);
}
