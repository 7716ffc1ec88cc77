// The contract between the program and its effect programs: each effect has
// one 10-byte shared-memory segment, named by the key of its mode, holding
// its size level as a 32-bit little-endian signed integer at byte 0. Both
// sides write and read it only under the segment's lock; whichever side
// starts first creates it, the other attaches.
#pragma once

#include <QSharedMemory>
#include <QString>

#include <optional>

namespace segment {

constexpr int kBytes = 10;
constexpr char kDotrixKey[] = "Dotrix_shared";
constexpr char kLoupexKey[] = "Magnifier_shared";
constexpr char kHalvixKey[] = "Halvix_shared";

} // namespace segment

class SizeSegment
{
public:
    static constexpr int kBytes = segment::kBytes;

    explicit SizeSegment(const QString &key);

    // Attaches to the segment, or creates it when nobody has: the other side
    // or an earlier run that was killed may have made it first. Safe to call
    // again after a failure.
    bool open();
    bool isOpen() const { return memory_.isAttached(); }

    // The level now in the segment, or nothing when it cannot be read: not
    // open, the lock refused, or a segment too small to hold the integer.
    std::optional<qint32> read();

    // Stores the level; false when it cannot be stored for the same reasons.
    bool write(qint32 level);

    static qint32 decode(const void *bytes);

private:
    bool usable() const;

    QSharedMemory memory_;
};
