// quorvant-segment: reads and holds the effect programs' shared-memory
// segments from outside the program, as an effect program would.
//
//   quorvant-segment read KEY          prints the size level at byte 0
//   quorvant-segment hold KEY [LEVEL]  creates (else attaches to) the segment,
//                                      stores LEVEL, prints "ready" and keeps
//                                      the segment until standard input ends
//   quorvant-segment abandon KEY LEVEL creates the segment, stores LEVEL and
//                                      ends without detaching, as a crashed
//                                      effect program leaves it behind
//
// Exit code 0 on success, 1 when the segment cannot be had, 2 on bad usage.
#include <QCoreApplication>
#include <QSharedMemory>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

constexpr int kSegmentBytes = 10;

int usage()
{
    std::fprintf(stderr, "usage: quorvant-segment read KEY | hold KEY [LEVEL] | abandon KEY LEVEL\n");
    return 2;
}

bool parseLevel(const QString &text, qint32 *level)
{
    bool ok = false;
    *level = text.toInt(&ok);
    return ok;
}

bool store(QSharedMemory &segment, qint32 level)
{
    if (segment.size() < int(sizeof level) || !segment.lock())
        return false;
    qToLittleEndian<qint32>(level, segment.data());
    segment.unlock();
    return true;
}

int read(const QString &key)
{
    QSharedMemory segment(key);
    if (!segment.attach(QSharedMemory::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(key), qPrintable(segment.errorString()));
        return 1;
    }
    if (segment.size() < int(sizeof(qint32)) || !segment.lock()) {
        std::fprintf(stderr, "%s: unreadable\n", qPrintable(key));
        return 1;
    }
    const qint32 level = qFromLittleEndian<qint32>(segment.constData());
    segment.unlock();
    std::printf("%d\n", level);
    return 0;
}

bool createOrAttach(QSharedMemory &segment)
{
    return segment.create(kSegmentBytes) || segment.attach();
}

int hold(const QString &key, const QStringList &rest)
{
    qint32 level = 0;
    if (!rest.isEmpty() && !parseLevel(rest.first(), &level))
        return usage();
    QSharedMemory segment(key);
    if (!createOrAttach(segment) || (!rest.isEmpty() && !store(segment, level))) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(key), qPrintable(segment.errorString()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) { }
    return 0;
}

int abandon(const QString &key, const QStringList &rest)
{
    qint32 level = 0;
    if (rest.isEmpty() || !parseLevel(rest.first(), &level))
        return usage();
    auto *segment = new QSharedMemory(key);
    if (!segment->create(kSegmentBytes) || !store(*segment, level)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(key), qPrintable(segment->errorString()));
        return 1;
    }
    // No detach: the segment stays, with nobody attached, as after a crash.
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const QString command = args.takeFirst();
    const QString key = args.takeFirst();
    if (command == "read" && args.isEmpty())
        return read(key);
    if (command == "hold")
        return hold(key, args);
    if (command == "abandon")
        return abandon(key, args);
    return usage();
}
