// quorvant-segment: the effect programs' size segments, seen from outside,
// as an effect program sees them.
//
//   quorvant-segment read KEY          prints the size level at byte 0
//   quorvant-segment watch KEY         attaches, prints "ready", then each
//                                      level it holds as it changes, until
//                                      killed
//   quorvant-segment hold KEY [LEVEL]  creates (else attaches to) the segment,
//                                      stores LEVEL, prints "ready" and keeps
//                                      the segment until standard input ends
//   quorvant-segment abandon KEY LEVEL creates (else attaches to) the segment,
//                                      stores LEVEL and ends without
//                                      detaching, as a crash does
//
// Exit code 0 on success, 1 when the segment cannot be had, 2 on bad usage.
#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "core/sizesegment.h"

namespace {

int usage()
{
    std::fprintf(
        stderr, "usage: quorvant-segment read KEY | watch KEY | hold KEY [LEVEL] | abandon KEY LEVEL\n");
    return 2;
}

int fail(const QString &key)
{
    std::fprintf(stderr, "%s: cannot be had\n", qPrintable(key));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3)
        return usage();
    const QString command = args.takeFirst();
    const QString key = args.takeFirst();
    SizeSegment segment(key);
    bool ok = args.isEmpty();
    const qint32 level = ok ? 0 : args.first().toInt(&ok);
    if (!ok)
        return usage();

    if (command == "read" && args.isEmpty()) {
        const std::optional<qint32> read = segment.attach() ? segment.read() : std::nullopt;
        if (!read)
            return fail(key);
        std::printf("%d\n", *read);
        return 0;
    }
    if (command == "watch" && args.isEmpty()) {
        if (!segment.attach())
            return fail(key);
        std::printf("ready\n");
        std::fflush(stdout);
        for (std::optional<qint32> last;; QThread::usleep(100)) {
            const std::optional<qint32> level = segment.read();
            if (level && level != last) {
                std::printf("%d\n", *level);
                std::fflush(stdout);
                last = level;
            }
        }
    }
    if (command != "hold" && (command != "abandon" || args.isEmpty()))
        return usage();
    if (!segment.open() || (!args.isEmpty() && !segment.write(level)))
        return fail(key);
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
