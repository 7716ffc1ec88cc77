// quorvant-segment: the effect programs' size segments, seen from outside.
//
//   quorvant-segment read KEY          prints the size level at byte 0
//   quorvant-segment hold KEY [LEVEL]  creates (else attaches to) the segment,
//                                      stores LEVEL, prints "ready" and keeps
//                                      the segment until standard input ends
//   quorvant-segment abandon KEY LEVEL creates the segment, stores LEVEL and
//                                      ends without detaching, as a crash does
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

int usage()
{
    std::fprintf(stderr, "usage: quorvant-segment read KEY | hold KEY [LEVEL] | abandon KEY LEVEL\n");
    return 2;
}

int fail(const QSharedMemory &segment)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(segment.key()), qPrintable(segment.errorString()));
    return 1;
}

bool usable(QSharedMemory &segment)
{
    return segment.size() >= int(sizeof(qint32)) && segment.lock();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3)
        return usage();
    const QString command = args.takeFirst();
    QSharedMemory segment(args.takeFirst());
    bool ok = args.isEmpty();
    const qint32 level = ok ? 0 : args.first().toInt(&ok);
    if (!ok)
        return usage();

    if (command == "read" && args.isEmpty()) {
        if (!segment.attach(QSharedMemory::ReadOnly) || !usable(segment))
            return fail(segment);
        std::printf("%d\n", qFromLittleEndian<qint32>(segment.constData()));
        segment.unlock();
        return 0;
    }
    if (command != "hold" && (command != "abandon" || args.isEmpty()))
        return usage();
    const bool made = segment.create(10) || (command == "hold" && segment.attach());
    if (!made || (!args.isEmpty() && !usable(segment)))
        return fail(segment);
    if (!args.isEmpty()) {
        qToLittleEndian<qint32>(level, segment.data());
        segment.unlock();
    }
    if (command == "abandon") {
        // No detach: the segment stays, with nobody attached, as after a crash.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) { }
    return 0;
}
