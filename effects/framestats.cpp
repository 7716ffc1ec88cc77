#include "framestats.h"

FrameStats::FrameStats()
{
    clock_.start();
}

void FrameStats::record(const QRegion &painted)
{
    const qint64 now = clock_.elapsed();
    if (firstMs_ < 0)
        firstMs_ = now;
    lastMs_ = now;
    ++frames_;
    for (const QRect &r : painted)
        paintedPixels_ += qint64(r.width()) * r.height();
}

void FrameStats::reset()
{
    frames_ = 0;
    paintedPixels_ = 0;
    firstMs_ = lastMs_ = -1;
}

double FrameStats::framesPerSecond() const
{
    if (frames_ < 2 || lastMs_ <= firstMs_)
        return 0.0;
    return (frames_ - 1) * 1000.0 / double(lastMs_ - firstMs_);
}

QString FrameStats::summary(const QString &name) const
{
    const qint64 perFrame = frames_ > 0 ? paintedPixels_ / frames_ : 0;
    return QStringLiteral("%1 frames=%2 span_ms=%3 fps=%4 pixels_per_frame=%5")
        .arg(name)
        .arg(frames_)
        .arg(frames_ > 0 ? lastMs_ - firstMs_ : 0)
        .arg(framesPerSecond(), 0, 'f', 1)
        .arg(perFrame);
}
