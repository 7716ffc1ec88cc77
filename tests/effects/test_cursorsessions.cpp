// The pointer as cursor sessions tell it, against a compositor of the test's
// own that offers two outputs, a seat and, unless told not to, the capture
// globals. It runs on a thread of its own, since asking for the globals
// waits for its answer.
#include "cursorsessions.h"

#include "ext-image-capture-source-v1-server-protocol.h"
#include "ext-image-copy-capture-v1-server-protocol.h"

#include <QtTest>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <wayland-client.h>
#include <wayland-server.h>

namespace {

class FakeCompositor
{
public:
    explicit FakeCompositor(bool offersCursorSessions)
    {
        display_ = wl_display_create();
        for (int &index : outputIndex_)
            wl_global_create(display_, &wl_output_interface, 3, &index, bindOutput);
        wl_global_create(display_, &wl_seat_interface, 5, this, bindSeat);
        if (offersCursorSessions) {
            wl_global_create(display_, &ext_image_copy_capture_manager_v1_interface, 1, this, bindCapture);
            wl_global_create(
                display_, &ext_output_image_capture_source_manager_v1_interface, 1, this, bindSources);
        }
        int ends[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        wl_client_create(display_, ends[0]);
        client_ = wl_display_connect_to_fd(ends[1]);
        loop_ = std::thread([this] {
            while (running_) {
                wl_event_loop_dispatch(wl_display_get_event_loop(display_), 10);
                std::function<void()> task;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    task.swap(task_);
                }
                if (task)
                    task();
                wl_display_flush_clients(display_);
            }
        });
    }

    ~FakeCompositor()
    {
        wl_display_disconnect(client_);
        running_ = false;
        loop_.join();
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
    }

    wl_display *client() const { return client_; }

    // Runs `task` on the compositor's thread; returns once it has, with
    // everything it sent read by the client.
    void run(std::function<void()> task)
    {
        std::promise<void> done;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = [&] {
                task();
                done.set_value();
            };
        }
        done.get_future().wait();
        wl_display_roundtrip(client_);
    }

    // Tells the cursor session on output `index` that the hotspot is at (x, y).
    void point(int index, int x, int y)
    {
        run([=] {
            for (const Session &session : sessions_)
                if (session.output == index)
                    ext_image_copy_capture_cursor_session_v1_send_position(session.resource, x, y);
        });
    }

    int sessionsOpen()
    {
        int open = 0;
        run([&] { open = int(sessions_.size()); });
        return open;
    }

private:
    struct Session
    {
        int output;
        wl_resource *resource;
    };

    static void bindOutput(wl_client *client, void *data, uint32_t version, uint32_t id)
    {
        wl_resource *output = wl_resource_create(client, &wl_output_interface, int(version), id);
        wl_resource_set_user_data(output, data);
    }

    static void bindSeat(wl_client *client, void *, uint32_t version, uint32_t id)
    {
        static const struct wl_pointer_interface pointer = {
            [](wl_client *, wl_resource *, uint32_t, wl_resource *, int32_t, int32_t) {},
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
        };
        static const struct wl_seat_interface seat = {
            [](wl_client *client, wl_resource *resource, uint32_t id) {
                wl_resource *made = wl_resource_create(
                    client, &wl_pointer_interface, wl_resource_get_version(resource), id);
                wl_resource_set_implementation(made, &pointer, nullptr, nullptr);
            },
            [](wl_client *, wl_resource *, uint32_t) {},
            [](wl_client *, wl_resource *, uint32_t) {},
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
        };
        wl_resource_set_implementation(
            wl_resource_create(client, &wl_seat_interface, int(version), id), &seat, nullptr, nullptr);
    }

    static void bindSources(wl_client *client, void *, uint32_t version, uint32_t id)
    {
        static const struct ext_image_capture_source_v1_interface source = {
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
        };
        static const struct ext_output_image_capture_source_manager_v1_interface manager = {
            [](wl_client *client, wl_resource *, uint32_t id, wl_resource *output) {
                wl_resource *made = wl_resource_create(client, &ext_image_capture_source_v1_interface, 1, id);
                // The source knows its output by the output's index.
                wl_resource_set_implementation(made, &source, wl_resource_get_user_data(output), nullptr);
            },
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
        };
        wl_resource_set_implementation(
            wl_resource_create(
                client, &ext_output_image_capture_source_manager_v1_interface, int(version), id),
            &manager, nullptr, nullptr);
    }

    static void bindCapture(wl_client *client, void *data, uint32_t version, uint32_t id)
    {
        static const struct ext_image_copy_capture_cursor_session_v1_interface cursor = {
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
            [](wl_client *, wl_resource *, uint32_t) {},
        };
        static const struct ext_image_copy_capture_manager_v1_interface manager = {
            [](wl_client *, wl_resource *, uint32_t, wl_resource *, uint32_t) {},
            [](wl_client *client, wl_resource *resource, uint32_t id, wl_resource *source, wl_resource *) {
                auto *self = static_cast<FakeCompositor *>(wl_resource_get_user_data(resource));
                wl_resource *made
                    = wl_resource_create(client, &ext_image_copy_capture_cursor_session_v1_interface, 1, id);
                wl_resource_set_implementation(made, &cursor, self, [](wl_resource *gone) {
                    auto *self = static_cast<FakeCompositor *>(wl_resource_get_user_data(gone));
                    auto &sessions = self->sessions_;
                    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                       [gone](const Session &s) { return s.resource == gone; }),
                        sessions.end());
                });
                self->sessions_.push_back({ *static_cast<int *>(wl_resource_get_user_data(source)), made });
                ext_image_copy_capture_cursor_session_v1_send_enter(made);
            },
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
        };
        wl_resource_set_implementation(
            wl_resource_create(client, &ext_image_copy_capture_manager_v1_interface, int(version), id),
            &manager, data, nullptr);
    }

    wl_display *display_;
    wl_display *client_;
    int outputIndex_[2] = { 0, 1 };
    std::vector<Session> sessions_;
    std::mutex mutex_;
    std::function<void()> task_;
    std::atomic<bool> running_ { true };
    std::thread loop_;
};

// The client's side of the outputs and the seat, as Qt would have bound them.
struct Bound
{
    explicit Bound(wl_display *display)
    {
        static const wl_registry_listener listener = {
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
                auto *bound = static_cast<Bound *>(data);
                if (!strcmp(interface, wl_output_interface.name))
                    bound->outputs.push_back(
                        static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 3)));
                else if (!strcmp(interface, wl_seat_interface.name))
                    bound->seat
                        = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 5));
            },
            [](void *, wl_registry *, uint32_t) {},
        };
        registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(display);
    }
    ~Bound()
    {
        for (wl_output *output : outputs)
            wl_output_destroy(output);
        wl_seat_destroy(seat);
        wl_registry_destroy(registry);
    }

    wl_registry *registry = nullptr;
    std::vector<wl_output *> outputs;
    wl_seat *seat = nullptr;
};

} // namespace

class TestCursorSessions : public QObject
{
    Q_OBJECT

private slots:
    void pointerOnEveryOutput()
    {
        FakeCompositor compositor(true);
        const Bound bound(compositor.client());
        QCOMPARE(int(bound.outputs.size()), 2);
        // Side by side; the right one at twice the pixels.
        auto sessions = CursorSessions::open(compositor.client(), bound.seat,
            { { bound.outputs[0], QRect(0, 0, 1280, 720), 1.0 },
                { bound.outputs[1], QRect(1280, 0, 960, 540), 2.0 } });
        QVERIFY(sessions);
        int moves = 0;
        sessions->moved = [&] { ++moves; };
        QCOMPARE(compositor.sessionsOpen(), 2);

        // Buffer pixels, and the output's place on the desktop.
        const struct
        {
            int output, x, y;
            QPoint seen;
            int moves;
        } steps[] = {
            { 0, 640, 360, QPoint(640, 360), 1 },
            { 1, 200, 101, QPoint(1380, 51), 2 },
            { 1, 201, 101, QPoint(1381, 51), 3 }, // half a logical pixel rounds away from the origin
            // Beyond the output, while the cursor's image still overlaps it:
            // the pointer is elsewhere, and another output will tell.
            { 1, -4, 10, QPoint(1381, 51), 3 },
            { 0, 1279, 0, QPoint(1279, 0), 4 },
            // Told again where it already is: no news.
            { 0, 1279, 0, QPoint(1279, 0), 4 },
        };
        for (const auto &step : steps) {
            compositor.point(step.output, step.x, step.y);
            QCOMPARE(sessions->position(), step.seen);
            QCOMPARE(moves, step.moves);
        }

        // The sessions end with the effect.
        sessions.reset();
        QCOMPARE(compositor.sessionsOpen(), 0);
    }

    void nothingWhereNotOffered()
    {
        FakeCompositor compositor(false);
        const Bound bound(compositor.client());
        QVERIFY(!CursorSessions::open(
            compositor.client(), bound.seat, { { bound.outputs[0], QRect(0, 0, 1280, 720), 1.0 } }));
    }
};

QTEST_GUILESS_MAIN(TestCursorSessions)
#include "test_cursorsessions.moc"
