#include "effecthost.h"

#include "backend.h"
#include "desktop.h"
#include "geometry.h"
#include "overlay.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

#include <cstdio>
#include <utility>

EffectHost::EffectHost(const QString &segmentKey, const SizeMap &sizes, Factory factory, QObject *parent)
    : QObject(parent)
    , segment_(segmentKey)
    , sizes_(sizes)
    , factory_(std::move(factory))
    , pointerSource_(EffectBackend::current().pointer())
    , motion_(EffectBackend::current().watchPointer())
    , composited_(EffectBackend::current().composites())
{
}

EffectHost::~EffectHost()
{
    for (EffectOverlay *overlay : overlays_)
        delete overlay;
    overlays_.clear();
}

void EffectHost::start()
{
    if (started_)
        return;
    started_ = true;

    segment_.open();
    readLevel();
    pointer_ = pointerSource_();

    // Every overlay is made before any is shown: an effect that takes a
    // picture of its screen must not find another overlay in it.
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens)
        makeOverlay(screen);
    followAll();
    for (EffectOverlay *overlay : overlays_)
        overlay->present();

    connect(qGuiApp, &QGuiApplication::screenAdded, this, &EffectHost::addScreen);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &EffectHost::removeScreen);

    if (motion_)
        connect(motion_.get(), &desktop::PointerMotion::moved, this, &EffectHost::pointerMoved);
    sinceMove_.start();
    tickTimer_.start(kTickMs, this);
}

void EffectHost::setPointerMotion(std::unique_ptr<desktop::PointerMotion> motion)
{
    motion_ = std::move(motion);
    if (motion_ && started_)
        connect(motion_.get(), &desktop::PointerMotion::moved, this, &EffectHost::pointerMoved);
}

EffectOverlay *EffectHost::makeOverlay(QScreen *screen)
{
    EffectOverlay *overlay = factory_(screen, composited_, &stats_);
    EffectBackend::current().prepareOverlay(overlay);
    overlays_.append(overlay);
    connect(screen, &QScreen::geometryChanged, this, [this, screen] {
        for (EffectOverlay *o : overlays_)
            if (o->targetScreen() == screen)
                o->fitScreen();
        followAll();
    });
    return overlay;
}

void EffectHost::addScreen(QScreen *screen)
{
    EffectOverlay *overlay = makeOverlay(screen);
    followAll();
    overlay->present();
}

void EffectHost::removeScreen(QScreen *screen)
{
    for (int i = overlays_.size() - 1; i >= 0; --i) {
        if (overlays_[i]->targetScreen() == screen) {
            delete overlays_[i];
            overlays_.remove(i);
        }
    }
    disconnect(screen, nullptr, this, nullptr);
    followAll();
}

void EffectHost::followAll()
{
    QVector<QRect> rects;
    rects.reserve(overlays_.size());
    for (EffectOverlay *overlay : overlays_)
        rects.append(overlay->targetScreen()->geometry());
    const int here = geometry::screenIndexAt(pointer_, rects);
    const int size = pixels();
    for (int i = 0; i < overlays_.size(); ++i)
        overlays_[i]->follow(pointer_, size, i == here);
}

void EffectHost::readLevel()
{
    // A segment that the main program removed and made again is found anew.
    if (!segment_.isOpen() && !segment_.open())
        return;
    if (const std::optional<qint32> level = segment_.read())
        level_ = *level;
}

bool EffectHost::lookAtPointer(bool announced)
{
    const QPoint now = pointerSource_();
    if (now == pointer_)
        return false;
    pointer_ = now;
    followAll();
    sinceMove_.restart();
    if (!announced)
        sinceWarp_.restart();
    return true;
}

void EffectHost::pointerMoved()
{
    motionHeard_ = true;
    // The first motion after a rest shows at once; the rest of the burst
    // waits for the next frame, so a fast mouse costs one look per frame.
    if (!frameTimer_.isActive()) {
        frameTimer_.start(kFrameMs, this);
        lookAtPointer(true);
        motionHeard_ = false;
    }
}

void EffectHost::frame()
{
    const bool heard = std::exchange(motionHeard_, false);
    const bool moved = lookAtPointer(heard);
    // With motion heard, a frame that neither saw nor heard anything new ends
    // the frames until the next motion. A move that nothing announced was a
    // program warping the pointer, which only looking finds: then, as when
    // polled, the frames go on a while after the last move.
    const bool warped = sinceWarp_.isValid() && sinceWarp_.elapsed() <= kPolledHoldMs;
    const bool resting = motion_ && !warped ? !moved && !heard : sinceMove_.elapsed() > kPolledHoldMs;
    if (resting)
        frameTimer_.stop();
}

void EffectHost::tick()
{
    const int before = pixels();
    readLevel();
    if (pixels() != before)
        followAll();

    ++ticks_;
    const bool raiseNow = ticks_ % kRaiseTicks == 0;
    // Heard motion still gets a look now and then, for warps (XWarpPointer,
    // xdotool's mousemove), which make no device motion.
    if (!frameTimer_.isActive() && (!motion_ || raiseNow) && lookAtPointer(false))
        frameTimer_.start(kFrameMs, this);
    if (raiseNow) {
        for (EffectOverlay *overlay : overlays_)
            if (overlay->isVisible())
                overlay->raise();
    }
}

void EffectHost::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == frameTimer_.timerId())
        frame();
    else if (event->timerId() == tickTimer_.timerId())
        tick();
}

int runEffect(int argc, char **argv, const char *name, const char *segmentKey, const SizeMap &sizes,
    const EffectHost::Factory &factory, int settleMs)
{
    // The overlays paint with the raster engine; OpenGL would only cost the
    // memory of its whole stack.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    EffectBackend &backend = EffectBackend::current();
    backend.prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(name));
    QApplication::setQuitOnLastWindowClosed(false);
    desktop::quitOnTermination();

    int status = 0;
    if (std::unique_ptr<QObject> drawn = backend.drawnByDesktop({ name, segmentKey, sizes })) {
        status = app.exec();
    } else {
        EffectHost host(QString::fromLatin1(segmentKey), sizes, factory);
        QTimer::singleShot(settleMs, &host, &EffectHost::start);
        status = app.exec();
        if (qEnvironmentVariableIsSet("QUORVANT_EFFECT_STATS"))
            std::fprintf(stderr, "%s\n", qPrintable(host.stats().summary(QString::fromLatin1(name))));
    }
    return status;
}
