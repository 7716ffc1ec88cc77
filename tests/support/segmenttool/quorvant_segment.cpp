// quorvant-segment: an effect program's size segment, seen from outside, as an
// effect program sees it.
//
//   quorvant-segment read KEY    prints the size level at byte 0
//   quorvant-segment watch KEY   attaches, prints "ready", then each level the
//                                segment comes to hold, until killed
//
// Exit code 0 on success, 1 when nobody made the segment or it cannot be
// read.
#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <optional>

#include "core/sizesegment.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString key = app.arguments().value(2);
    SizeSegment segment(key);
    if (!segment.attach()) {
        std::fprintf(stderr, "%s: cannot be had\n", qPrintable(key));
        return 1;
    }
    if (app.arguments().value(1) == "read") {
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
