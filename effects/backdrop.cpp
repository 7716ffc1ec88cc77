#include "backdrop.h"

#include "backend.h"
#include "overlay.h"

#include <QPainter>
#include <QScreen>
#include <QThread>

// Screens keep their native top-left; only their extent scales.
static QRect nativeRect(QScreen *screen)
{
    const QRect g = screen->geometry();
    return QRect(g.topLeft(), g.size() * screen->devicePixelRatio());
}

Backdrop::Backdrop(QScreen *screen, std::unique_ptr<desktop::ScreenReader> reader, QObject *parent)
    : QObject(parent)
    , reader_(std::move(reader))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Backdrop::refresh);
    connect(reader_.get(), &desktop::ScreenReader::changed, this, &Backdrop::note);
    const auto cover = [this, screen] {
        native_ = nativeRect(screen);
        ratio_ = screen->devicePixelRatio();
        picture_ = reader_->read(native_);
        if (picture_.size() != native_.size()) {
            picture_ = QImage(native_.size(), QImage::Format_RGB32);
            picture_.fill(Qt::black);
        }
        picture_.setDevicePixelRatio(ratio_);
        sinceRefresh_.start();
        emit changed(QRect(QPoint(0, 0), screen->geometry().size()));
    };
    cover();
    connect(screen, &QScreen::geometryChanged, this, cover);
}

Backdrop::Backdrop(const QImage &still, QObject *parent)
    : QObject(parent)
    , ratio_(still.devicePixelRatio())
    , picture_(still)
{
}

Backdrop::~Backdrop() = default;

void Backdrop::note(const QRegion &global)
{
    pending_ += global & native_;
    if (pending_.isEmpty() || timer_.isActive())
        return;
    // A change after a quiet spell shows at once; a busy screen is read again
    // once per interval, all that changed in it together.
    timer_.start(int(qMax<qint64>(0, kRefreshMs - sinceRefresh_.elapsed())));
}

void Backdrop::refresh()
{
    QRegion area = pending_;
    pending_ = QRegion();
    sinceRefresh_.restart();
    // Many small parts cost more requests than reading what holds them all.
    if (area.rectCount() > 8)
        area = area.boundingRect();

    QRegion shown;
    picture_.setDevicePixelRatio(1.0);
    {
        QPainter painter(&picture_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect &r : area) {
            const QImage part = reader_->read(r);
            if (part.isNull())
                continue;
            painter.drawImage(r.topLeft() - native_.topLeft(), part);
            const QRectF local(QPointF(r.topLeft() - native_.topLeft()) / ratio_, QSizeF(r.size()) / ratio_);
            shown += local.toAlignedRect();
        }
    }
    picture_.setDevicePixelRatio(ratio_);
    if (!shown.isEmpty())
        emit changed(shown);
}

Backdrop *backdropFor(EffectOverlay *overlay)
{
    QScreen *screen = overlay->targetScreen();
    if (std::unique_ptr<desktop::ScreenReader> reader = EffectBackend::current().readScreen(overlay))
        return new Backdrop(screen, std::move(reader), overlay);
    return new Backdrop(settledPicture(screen), overlay);
}

QImage settledPicture(QScreen *screen, int maxWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    QImage last = screen->grabWindow(0).toImage();
    while (clock.elapsed() < maxWaitMs) {
        QThread::msleep(100);
        QImage next = screen->grabWindow(0).toImage();
        if (next == last)
            break;
        last = std::move(next);
    }
    return last;
}
