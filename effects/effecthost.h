#pragma once

#include "core/sizesegment.h"
#include "desktop.h"
#include "framestats.h"
#include "sizemap.h"

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QVector>
#include <functional>
#include <memory>

class EffectOverlay;
class QScreen;

// Runs one effect: reads its size from its segment, keeps one overlay on every
// screen, and moves the effect with the pointer.
//
// The overlays let input through, so they never hear of the pointer. Where the
// system tells of motion, the pointer is looked at only then, once a frame
// while it moves, and about once a second for warps, which make no motion;
// elsewhere it is polled, often while it moves and seldom while it rests. Nothing here touches the cursor, so
// an effect that is killed leaves the cursor as it found it.
class EffectHost : public QObject
{
    Q_OBJECT

public:
    using Factory = std::function<EffectOverlay *(QScreen *screen, bool composited, FrameStats *stats)>;

    static constexpr int kFrameMs = 15; // about 66 frames a second while the pointer moves
    static constexpr int kTickMs = 85; // size changes show within 100 ms
    static constexpr int kRaiseTicks = 12; // about once a second: stay above windows raised since
    static constexpr int kPolledHoldMs
        = 300; // polled or warped pointers stay watched closely this long after a move

    EffectHost(const QString &segmentKey, const SizeMap &sizes, Factory factory, QObject *parent = nullptr);
    ~EffectHost() override;

    void setPointerSource(std::function<QPoint()> source) { pointerSource_ = std::move(source); }
    // Null: the pointer is polled. By default, whatever the system offers.
    void setPointerMotion(std::unique_ptr<desktop::PointerMotion> motion);
    void setComposited(bool composited) { composited_ = composited; }

    // Opens the segment, reads the size, covers the screens and starts
    // following the pointer.
    void start();

    int level() const { return level_; }
    int pixels() const { return sizes_.pixels(level_); }
    QPoint pointer() const { return pointer_; }
    QVector<EffectOverlay *> overlays() const { return overlays_; }
    FrameStats &stats() { return stats_; }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    EffectOverlay *makeOverlay(QScreen *screen);
    void addScreen(QScreen *screen);
    void removeScreen(QScreen *screen);
    void followAll();
    bool lookAtPointer(bool announced);
    void pointerMoved();
    void frame();
    void tick();
    void readLevel();

    SizeSegment segment_;
    SizeMap sizes_;
    Factory factory_;
    std::function<QPoint()> pointerSource_;
    std::unique_ptr<desktop::PointerMotion> motion_;
    bool composited_;
    bool started_ = false;
    FrameStats stats_;
    QVector<EffectOverlay *> overlays_;
    int level_ = 0;
    QPoint pointer_;
    QBasicTimer frameTimer_;
    QBasicTimer tickTimer_;
    int ticks_ = 0;
    bool motionHeard_ = false;
    QElapsedTimer sinceMove_;
    QElapsedTimer sinceWarp_;
};

// The whole of an effect program's main: `settleMs` lets the windows of an
// effect that was just stopped vanish before this one looks at the screen.
int runEffect(int argc, char **argv, const char *name, const char *segmentKey, const SizeMap &sizes,
    const EffectHost::Factory &factory, int settleMs = 0);
