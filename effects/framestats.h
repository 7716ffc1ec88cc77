#pragma once

#include <QElapsedTimer>
#include <QRegion>
#include <QString>

// Counts the frames an effect paints and how much of the screen they cover,
// so its cost can be measured from outside (QUORVANT_EFFECT_STATS).
class FrameStats
{
public:
    FrameStats();

    void record(const QRegion &painted);
    void reset();

    int frames() const { return frames_; }
    qint64 paintedPixels() const { return paintedPixels_; }
    // Frames per second between the first and the last frame recorded.
    double framesPerSecond() const;
    QString summary(const QString &name) const;

private:
    QElapsedTimer clock_;
    int frames_ = 0;
    qint64 paintedPixels_ = 0;
    qint64 firstMs_ = -1;
    qint64 lastMs_ = -1;
};
