#include "core/sizesegment.h"

#include <QDebug>
#include <QFile>
#include <QtEndian>

#ifndef Q_OS_WIN
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/privatefolder.h"
#endif

namespace {

#ifndef Q_OS_WIN
// Each side holds the lock for a few bytes' copy. One held longer belongs to
// a process that is stopped or stuck, and is not waited for.
constexpr std::chrono::milliseconds kLongestLockWait { 200 };
#endif

} // namespace

SizeSegment::SizeSegment(const QString &name)
    : name_(name)
{
}

qint32 SizeSegment::decode(const void *bytes)
{
    return qFromLittleEndian<qint32>(bytes);
}

#ifdef Q_OS_WIN

SizeSegment::~SizeSegment() = default;

bool SizeSegment::isOpen() const
{
    return memory_.isAttached();
}

bool SizeSegment::open()
{
    // Attaching comes first: a segment made already, by the other side or by
    // an earlier run that was killed, is used as it is.
    if (attach())
        return true;
    // Between the two calls the other side may have made it.
    return keyed() && (memory_.create(kBytes, QSharedMemory::ReadWrite) || attach());
}

bool SizeSegment::attach()
{
    if (memory_.isAttached())
        return true;
    return keyed() && memory_.attach(QSharedMemory::ReadWrite);
}

bool SizeSegment::usable() const
{
    // A segment made by someone else may be shorter than ours; four bytes
    // from it would run past its end.
    return memory_.isAttached() && memory_.size() >= int(sizeof(qint32));
}

std::optional<qint32> SizeSegment::read()
{
    if (!usable() || !lock())
        return std::nullopt;
    const qint32 level = decode(memory_.constData());
    unlock();
    return level;
}

bool SizeSegment::write(qint32 level)
{
    if (!usable() || !lock())
        return false;
    qToLittleEndian<qint32>(level, memory_.data());
    unlock();
    return true;
}

bool SizeSegment::keyed()
{
    if (memory_.key() != name_)
        memory_.setKey(name_);
    return true;
}

// The lock is a semaphore that the system gives back if its holder is
// killed, so an effect killed while reading never blocks the program.
bool SizeSegment::lock()
{
    return memory_.lock();
}

void SizeSegment::unlock()
{
    memory_.unlock();
}

#else

SizeSegment::~SizeSegment()
{
    if (data_)
        ::munmap(data_, size_t(size_));
    if (file_ >= 0)
        ::close(file_);
}

bool SizeSegment::isOpen() const
{
    return data_ != nullptr;
}

// A file made already, by the other side or by an earlier run that was
// killed, is used as it is.
bool SizeSegment::open()
{
    return map(true);
}

bool SizeSegment::attach()
{
    return map(false);
}

bool SizeSegment::map(bool create)
{
    if (data_)
        return true;
    const std::string folder = platform::privateFolder();
    if (folder.empty()) {
        // Said once: the effect programs try again at every frame.
        if (!refusalTold_)
            qDebug() << "Size segment" << name_
                     << "not shared: no private folder of this user's to keep it in";
        refusalTold_ = true;
        return false;
    }
    const QByteArray path = QByteArray(folder.c_str()) + '/' + QFile::encodeName(name_);
    const int file = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (file < 0)
        return false;
    struct stat info;
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        qDebug() << "Size segment" << name_ << "not used: it is not this user's own";
        ::close(file);
        return false;
    }
    // Made here: room for the level, zeroed. A file another made shorter is
    // used as it is, and never written past its end; an empty one is still
    // being made by the other side.
    if (info.st_size == 0 && create) {
        if (::ftruncate(file, kBytes) != 0) {
            ::close(file);
            return false;
        }
        info.st_size = kBytes;
    }
    void *data = info.st_size > 0
        ? ::mmap(nullptr, size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0)
        : MAP_FAILED;
    if (data == MAP_FAILED) {
        ::close(file);
        return false;
    }
    file_ = file;
    data_ = data;
    size_ = info.st_size;
    return true;
}

bool SizeSegment::usable() const
{
    return data_ && size_ >= qint64(sizeof(qint32));
}

std::optional<qint32> SizeSegment::read()
{
    if (!usable() || !lock())
        return std::nullopt;
    const qint32 level = decode(data_);
    unlock();
    return level;
}

bool SizeSegment::write(qint32 level)
{
    if (!usable() || !lock())
        return false;
    qToLittleEndian<qint32>(level, data_);
    unlock();
    return true;
}

// The lock is the file's own, which the system gives back if its holder is
// killed.
bool SizeSegment::lock()
{
    const auto deadline = std::chrono::steady_clock::now() + kLongestLockWait;
    while (::flock(file_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            qDebug() << "Size segment" << name_ << "not read or written: its lock was held elsewhere for"
                     << kLongestLockWait.count() << "ms";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SizeSegment::unlock()
{
    ::flock(file_, LOCK_UN);
}

#endif
