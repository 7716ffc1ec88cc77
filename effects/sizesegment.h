#pragma once

#include <QSharedMemory>
#include <QString>
#include <optional>

// The segment through which the main program hands an effect its size level:
// 10 bytes, a 32-bit little-endian signed integer at byte 0, written and read
// only under the segment's lock.
class SizeSegment
{
public:
    static constexpr int kBytes = 10;

    explicit SizeSegment(const QString &key);

    // Creates the segment, or attaches to it when the main program (or an
    // earlier run that was killed) made it first. Safe to call again after a
    // failure.
    bool open();
    bool isOpen() const { return memory_.isAttached(); }

    // The level now in the segment, or nothing when it cannot be read: not
    // open, the lock refused, or a segment too small to hold the integer.
    std::optional<qint32> read();

    static qint32 decode(const void *bytes);

private:
    QSharedMemory memory_;
};
