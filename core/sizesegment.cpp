#include "core/sizesegment.h"

#include <QDebug>
#include <QFile>
#include <QtEndian>

#ifndef Q_OS_WIN
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/shm.h>
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

SizeSegment::~SizeSegment()
{
#ifndef Q_OS_WIN
    if (lockFile_ >= 0)
        ::close(lockFile_);
#endif
}

bool SizeSegment::open()
{
    // Attaching comes first: a segment made already, by the other side or by
    // an earlier run that was killed, is used as it is.
    if (attach())
        return true;
    // Between the two calls the other side may have made it.
    return keyed() && ((memory_.create(kBytes, QSharedMemory::ReadWrite) && checkAttached()) || attach());
}

bool SizeSegment::attach()
{
    if (memory_.isAttached())
        return true;
    return keyed() && memory_.attach(QSharedMemory::ReadWrite) && checkAttached();
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

qint32 SizeSegment::decode(const void *bytes)
{
    return qFromLittleEndian<qint32>(bytes);
}

#ifdef Q_OS_WIN

bool SizeSegment::keyed()
{
    if (memory_.key() != name_)
        memory_.setKey(name_);
    return true;
}

bool SizeSegment::checkAttached()
{
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

bool SizeSegment::keyed()
{
    const std::string folder = platform::privateFolder();
    if (folder.empty()) {
        // Said once: the effect programs try again at every frame.
        if (!refusalTold_)
            qDebug() << "Size segment" << name_
                     << "not shared: no private folder of this user's to key it in";
        refusalTold_ = true;
        return false;
    }
    const QString key = QFile::decodeName(folder.c_str()) + '/' + name_;
    if (memory_.nativeKey() != key)
        memory_.setNativeKey(key);
    return true;
}

// The lock is the key file's, held through a descriptor of our own. A System
// V key can be met by chance or on purpose by another user's segment; one
// that is not ours is not used.
bool SizeSegment::checkAttached()
{
    const QByteArray key = QFile::encodeName(memory_.nativeKey());
    const int id = ::shmget(::ftok(key.constData(), 'Q'), 0, 0);
    shmid_ds info;
    if (id < 0 || ::shmctl(id, IPC_STAT, &info) != 0 || info.shm_perm.uid != ::getuid()
        || info.shm_perm.cuid != ::getuid()) {
        qDebug() << "Size segment" << name_ << "not used: it is not this user's own";
        memory_.detach();
        return false;
    }
    if (lockFile_ >= 0)
        ::close(lockFile_);
    lockFile_ = ::open(key.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lockFile_ < 0) {
        memory_.detach();
        return false;
    }
    return true;
}

bool SizeSegment::lock()
{
    const auto deadline = std::chrono::steady_clock::now() + kLongestLockWait;
    while (::flock(lockFile_, LOCK_EX | LOCK_NB) != 0) {
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
    ::flock(lockFile_, LOCK_UN);
}

#endif
