// The contract between the program and its effect programs: each effect has
// one 10-byte shared-memory segment, named by the key of its mode, holding
// its size level as a 32-bit little-endian signed integer at byte 0. Both
// sides write and read it only under the segment's lock; whichever side
// starts first creates it, the other attaches.
//
// Where a segment lives is the user's own: on Linux it is the file of its
// name in the user's private folder (platform/privatefolder.h), mapped by
// each side, and its lock an exclusive flock(2) on that file, which no other
// user can open. A System V key, which ftok(3) makes from the file's inode,
// would be met again by the next file that reuses the inode, and a segment
// left from an earlier one taken for this one's. On Windows, whose named
// objects belong to the session, it keeps its name and Qt's lock.
#pragma once

#include <QString>
#ifdef Q_OS_WIN
#include <QSharedMemory>
#endif

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

    explicit SizeSegment(const QString &name);
    ~SizeSegment();
    SizeSegment(const SizeSegment &) = delete;
    SizeSegment &operator=(const SizeSegment &) = delete;

    // Attaches to the segment, or creates it when nobody has: the other side
    // or an earlier run that was killed may have made it first. Safe to call
    // again after a failure.
    bool open();
    // Attaches to the segment only when somebody made it.
    bool attach();
    bool isOpen() const;

    // The level now in the segment, or nothing when it cannot be read: not
    // open, the lock not had in time, or a segment too small to hold the
    // integer.
    std::optional<qint32> read();

    // Stores the level; false when it cannot be stored for the same reasons.
    bool write(qint32 level);

    static qint32 decode(const void *bytes);

private:
    bool usable() const;
    bool lock();
    void unlock();

    const QString name_;
#ifdef Q_OS_WIN
    bool keyed();
    QSharedMemory memory_;
#else
    bool map(bool create);
    int file_ = -1;
    void *data_ = nullptr;
    qint64 size_ = 0;
    bool refusalTold_ = false;
#endif
};
