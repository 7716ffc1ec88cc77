// quorvant-segment: an effect program's size segment, seen from outside, as an
// effect program sees it.
//
//   quorvant-segment read KEY    prints the size level at byte 0
//   quorvant-segment watch KEY   attaches, prints "ready", then each level the
//                                segment comes to hold, until killed
//
// Exit code 0 on success, 1 when nobody made the segment or it cannot be
// read, 2 on bad usage.
#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <optional>

#include "core/sizesegment.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || (args.first() != "read" && args.first() != "watch")) {
        std::fprintf(stderr, "usage: quorvant-segment read KEY | watch KEY\n");
        return 2;
    }
    SizeSegment segment(args.last());
    if (!segment.attach()) {
        std::fprintf(stderr, "%s: cannot be had\n", qPrintable(args.last()));
        return 1;
    }
    if (args.first() == "read") {
        const std::optional<qint32> level = segment.read();
        if (!level)
            return 1;
        std::printf("%d\n", *level);
        return 0;
    }
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
