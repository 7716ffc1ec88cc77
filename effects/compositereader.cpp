#include "compositereader.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QRegion>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/shape.h>

#include <cstdlib>
#include <vector>

namespace desktop {

namespace {

// The bit the server sets in the ids of what it makes itself, the
// compositor's overlay window among them; no id a client makes has it.
constexpr uint32_t kServerBit = 0x40000000;
// An event's code carries this bit when another client sent it.
constexpr uint8_t kSentEventBit = 0x80;
constexpr uint32_t kAllPlanes = ~0u;
constexpr uint8_t kOpaqueDepth = 24;
constexpr uint8_t kAlphaDepth = 32;
constexpr int kBytesPerPixel = 4;
constexpr uint32_t kRedMask = 0xff0000, kGreenMask = 0x00ff00, kBlueMask = 0x0000ff;
// The byte a 24-bit pixel leaves unused, where Qt reads alpha.
constexpr uint32_t kOpaqueAlpha = 0xff000000u;
// Shape events of a window: selected (1) or not (0).
constexpr uint8_t kSelect = 1;

// This program's windows, which its pictures of the screen leave out.
QSet<xcb_window_t> &excludedWindows()
{
    static QSet<xcb_window_t> windows;
    return windows;
}

} // namespace

bool excludeFromCapture(QWidget *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    excludedWindows().insert(xcb_window_t(window->winId()));
    return true;
}

namespace {

// The screen beneath this program's windows, put together from the top-level
// windows themselves, each read from its own pixmap. A grab of the root could
// never see what this program's windows cover: without redirection nothing is
// drawn there at all. Redirected (automatically, so the server still shows
// them as before), every window keeps its whole content, wherever it is
// covered. Damage on each window but this program's own tells where to read
// again, so what the effect paints never comes back to it as a change.
class CompositeReader : public ScreenReader
{
public:
    CompositeReader(
        xcb_connection_t *connection, const xcb_screen_t *screen, uint8_t damageEvent, uint8_t shapeEvent)
        : connection_(connection)
        , root_(screen->root)
        , rootRect_(0, 0, screen->width_in_pixels, screen->height_in_pixels)
        , idMask_(xcb_get_setup(connection)->resource_id_mask)
        , damageEvent_(damageEvent)
        , shapeEvent_(shapeEvent)
        , notifier_(xcb_get_file_descriptor(connection), QSocketNotifier::Read)
    {
        // Where no window lies the root shows its own background, which no
        // request returns: what showed there before the effect stays there.
        base_ = image(root_, rootRect_, kOpaqueDepth);
        if (base_.isNull()) {
            base_ = QImage(rootRect_.size(), QImage::Format_RGB32);
            base_.fill(Qt::black);
        }
        const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);
        xcb_composite_redirect_subwindows(connection_, root_, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        restack();
        QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    }

    // The server undoes the redirection and drops the damage with the connection.
    ~CompositeReader() override { xcb_disconnect(connection_); }

    QImage read(const QRect &area) override
    {
        const QRect want = area & rootRect_;
        if (want.isEmpty())
            return QImage();
        if (stale_)
            restack();

        struct Part
        {
            const Window *window;
            QRect rect;
            xcb_get_image_cookie_t cookie;
        };
        std::vector<Part> parts;
        for (const Window &w : stack_) {
            QRect r = w.rect & want;
            if (w.shaped)
                r &= w.shape.boundingRect();
            if (!w.shown || ours(w.id) || (w.depth != kOpaqueDepth && w.depth != kAlphaDepth) || r.isEmpty())
                continue;
            const QPoint at = r.topLeft() - w.rect.topLeft();
            parts.push_back({ &w, r,
                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, w.id, int16_t(at.x()), int16_t(at.y()),
                    uint16_t(r.width()), uint16_t(r.height()), kAllPlanes) });
        }

        QImage out = base_.copy(want);
        QPainter painter(&out);
        for (const Part &part : parts) {
            xcb_get_image_reply_t *reply = xcb_get_image_reply(connection_, part.cookie, nullptr);
            if (!reply)
                continue; // gone meanwhile
            const QRect &r = part.rect;
            if (xcb_get_image_data_length(reply) >= r.width() * r.height() * kBytesPerPixel) {
                const bool alpha = part.window->depth == kAlphaDepth;
                if (!alpha)
                    opaque(xcb_get_image_data(reply), r.width() * r.height());
                const QImage pixels(xcb_get_image_data(reply), r.width(), r.height(),
                    r.width() * kBytesPerPixel,
                    alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
                painter.setCompositionMode(
                    alpha ? QPainter::CompositionMode_SourceOver : QPainter::CompositionMode_Source);
                if (part.window->shaped)
                    painter.setClipRegion(part.window->shape.translated(-want.topLeft()));
                else
                    painter.setClipping(false);
                painter.drawImage(r.topLeft() - want.topLeft(), pixels);
            }
            free(reply);
        }
        drainSoon();
        return out;
    }

private:
    struct Window
    {
        xcb_window_t id = 0;
        QRect rect; // inside its border, on the root
        uint8_t depth = 0;
        bool shown = false; // viewable, and not input-only
        bool shaped = false;
        QRegion shape; // where a shaped window shows, on the root
    };

    // This program's windows, and the compositor's overlay, which the server
    // makes itself with an id no client could have made.
    bool ours(xcb_window_t window) const
    {
        return excludedWindows().contains(window) || (window & ~idMask_) == 0 || (window & kServerBit);
    }

    QImage image(xcb_drawable_t drawable, const QRect &r, int depth)
    {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(r.x()), int16_t(r.y()),
                uint16_t(r.width()), uint16_t(r.height()), kAllPlanes),
            nullptr);
        QImage copy;
        if (reply && reply->depth == depth
            && xcb_get_image_data_length(reply) >= r.width() * r.height() * kBytesPerPixel) {
            opaque(xcb_get_image_data(reply), r.width() * r.height());
            copy = QImage(xcb_get_image_data(reply), r.width(), r.height(), r.width() * kBytesPerPixel,
                QImage::Format_RGB32)
                       .copy();
        }
        free(reply);
        return copy;
    }

    // The server leaves the unused byte of 24-bit pixels zero; Qt takes it for
    // alpha wherever an image meets a translucent window.
    static void opaque(uint8_t *pixels, int count)
    {
        // Replies keep their data 4-byte aligned.
        auto *words = reinterpret_cast<uint32_t *>(pixels);
        for (int i = 0; i < count; ++i)
            words[i] |= kOpaqueAlpha;
    }

    // Events that replies overtook wait in the connection's queue, where the
    // notifier cannot see them.
    void drainSoon()
    {
        QTimer::singleShot(0, this, [this] { drain(); });
    }

    // Where `window` showed until now; anywhere, for a window not known yet.
    QRegion before(xcb_window_t window)
    {
        stale_ = true;
        for (const Window &w : stack_)
            if (w.id == window)
                return w.shown ? (w.shaped ? w.shape : QRegion(w.rect)) : QRegion();
        return rootRect_;
    }

    void drain()
    {
        QRegion area;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
            area += changeFrom(event);
            free(event);
        }
        xcb_flush(connection_);
        if (xcb_connection_has_error(connection_))
            notifier_.setEnabled(false);
        if (!area.isEmpty())
            emit changed(area);
    }

    QRegion changeFrom(const xcb_generic_event_t *event)
    {
        const uint8_t type = event->response_type & ~kSentEventBit;
        if (type == damageEvent_ + XCB_DAMAGE_NOTIFY) {
            const auto *e = reinterpret_cast<const xcb_damage_notify_event_t *>(event);
            // Each event tells of a part newly damaged; cleared at once, so
            // that drawing there again is told again.
            xcb_damage_subtract(connection_, e->damage, XCB_NONE, XCB_NONE);
            if (ours(e->drawable))
                return QRegion();
            return QRect(e->area.x + e->geometry.x, e->area.y + e->geometry.y, e->area.width, e->area.height);
        }
        if (shapeEvent_ && type == shapeEvent_ + XCB_SHAPE_NOTIFY) {
            const auto *e = reinterpret_cast<const xcb_shape_notify_event_t *>(event);
            return ours(e->affected_window) ? QRegion() : before(e->affected_window);
        }
        switch (type) {
        case XCB_CREATE_NOTIFY: {
            // Shows nothing until it is mapped; then it is known.
            const auto *e = reinterpret_cast<const xcb_create_notify_event_t *>(event);
            if (e->parent == root_ && !ours(e->window)) {
                Window w;
                w.id = e->window;
                w.rect = QRect(e->x + e->border_width, e->y + e->border_width, e->width, e->height);
                stack_.push_back(w);
                stale_ = true;
            }
            return QRegion();
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto *e = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
            if (ours(e->window))
                return QRegion();
            QRegion area = before(e->window);
            const QRect now(e->x + e->border_width, e->y + e->border_width, e->width, e->height);
            for (Window &w : stack_) {
                if (w.id == e->window) {
                    if (w.shown)
                        area += now;
                    w.rect = now;
                }
            }
            return area;
        }
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
        case XCB_DESTROY_NOTIFY:
        case XCB_REPARENT_NOTIFY:
        case XCB_GRAVITY_NOTIFY:
        case XCB_CIRCULATE_NOTIFY: {
            // All of these name the window in the same place.
            const xcb_window_t window = reinterpret_cast<const xcb_map_notify_event_t *>(event)->window;
            if (ours(window))
                return QRegion();
            QRegion area = before(window);
            if (type == XCB_MAP_NOTIFY)
                for (const Window &w : stack_)
                    if (w.id == window)
                        area += w.rect;
            return area;
        }
        default:
            return QRegion(); // errors of windows gone meanwhile, among others
        }
    }

    // The top-level windows, bottom first, with what is needed to show them;
    // damage on every new one.
    void restack()
    {
        stale_ = false;
        xcb_query_tree_reply_t *tree
            = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr);
        if (!tree)
            return;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        std::vector<xcb_get_window_attributes_cookie_t> attributes;
        std::vector<xcb_get_geometry_cookie_t> geometries;
        std::vector<xcb_shape_query_extents_cookie_t> extents;
        for (int i = 0; i < count; ++i) {
            attributes.push_back(xcb_get_window_attributes(connection_, children[i]));
            geometries.push_back(xcb_get_geometry(connection_, children[i]));
            if (shapeEvent_)
                extents.push_back(xcb_shape_query_extents(connection_, children[i]));
        }

        std::vector<Window> next;
        std::vector<xcb_shape_get_rectangles_cookie_t> shapes;
        QSet<xcb_window_t> present;
        for (int i = 0; i < count; ++i) {
            xcb_get_window_attributes_reply_t *a
                = xcb_get_window_attributes_reply(connection_, attributes[i], nullptr);
            xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(connection_, geometries[i], nullptr);
            xcb_shape_query_extents_reply_t *e
                = shapeEvent_ ? xcb_shape_query_extents_reply(connection_, extents[i], nullptr) : nullptr;
            if (a && g) {
                Window w;
                w.id = children[i];
                w.rect = QRect(g->x + g->border_width, g->y + g->border_width, g->width, g->height);
                w.depth = g->depth;
                const bool drawn = a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
                w.shown = drawn && a->map_state == XCB_MAP_STATE_VIEWABLE;
                w.shaped = e && e->bounding_shaped;
                if (w.shaped)
                    shapes.push_back(xcb_shape_get_rectangles(connection_, w.id, XCB_SHAPE_SK_BOUNDING));
                next.push_back(w);
                present.insert(w.id);
                if (drawn && !ours(w.id) && !damages_.contains(w.id)) {
                    const xcb_damage_damage_t damage = xcb_generate_id(connection_);
                    // New rectangles, not bounding boxes: after bounding-box
                    // reports Xvfb 21.1 was seen to lose the replies that followed.
                    xcb_damage_create(connection_, damage, w.id, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
                    if (shapeEvent_)
                        xcb_shape_select_input(connection_, w.id, kSelect);
                    damages_.insert(w.id, damage);
                }
            }
            free(a);
            free(g);
            free(e);
        }
        free(tree);

        auto shape = shapes.begin();
        for (Window &w : next) {
            if (!w.shaped)
                continue;
            xcb_shape_get_rectangles_reply_t *reply
                = xcb_shape_get_rectangles_reply(connection_, *shape++, nullptr);
            if (reply) {
                const xcb_rectangle_t *r = xcb_shape_get_rectangles_rectangles(reply);
                for (int i = 0, n = xcb_shape_get_rectangles_rectangles_length(reply); i < n; ++i)
                    w.shape += QRect(w.rect.x() + r[i].x, w.rect.y() + r[i].y, r[i].width, r[i].height);
            }
            free(reply);
        }

        // Damage of a window that left the root, or became ours, goes; that
        // of a destroyed window is gone already, and so is only forgotten.
        for (auto it = damages_.begin(); it != damages_.end();) {
            if (present.contains(it.key()) && !ours(it.key())) {
                ++it;
                continue;
            }
            xcb_damage_destroy(connection_, it.value());
            it = damages_.erase(it);
        }
        stack_ = std::move(next);
        xcb_flush(connection_);
        drainSoon();
    }

    xcb_connection_t *connection_;
    xcb_window_t root_;
    QRect rootRect_;
    uint32_t idMask_;
    uint8_t damageEvent_;
    uint8_t shapeEvent_;
    QSocketNotifier notifier_;
    std::vector<Window> stack_; // bottom first
    bool stale_ = true;
    QHash<xcb_window_t, xcb_damage_damage_t> damages_;
    QImage base_;
};

} // namespace

bool plainPixels(xcb_connection_t *connection, const xcb_screen_t *screen)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const bool order = setup->image_byte_order
        == (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST);
    bool wide = true;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == kOpaqueDepth || f.data->depth == kAlphaDepth)
            wide &= f.data->bits_per_pixel == kBytesPerPixel * 8;
    bool rgb = false;
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual)
                rgb = v.data->red_mask == kRedMask && v.data->green_mask == kGreenMask
                    && v.data->blue_mask == kBlueMask;
    return order && wide && rgb && screen->root_depth == kOpaqueDepth;
}

std::unique_ptr<ScreenReader> readComposite(
    xcb_connection_t *connection, const xcb_screen_t *screen, uint8_t damageEvent, uint8_t shapeEvent)
{
    return std::make_unique<CompositeReader>(connection, screen, damageEvent, shapeEvent);
}

} // namespace desktop
