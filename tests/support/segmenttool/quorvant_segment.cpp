// quorvant-segment read KEY: prints the size level at byte 0 of the effect
// programs' size segment of that key, read as an effect program reads it.
// Exit code 0 on success, 1 when nobody made the segment or it cannot be
// read, 2 on bad usage.
#include <QCoreApplication>

#include <cstdio>
#include <optional>

#include "core/sizesegment.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || args.first() != "read") {
        std::fprintf(stderr, "usage: quorvant-segment read KEY\n");
        return 2;
    }
    SizeSegment segment(args.last());
    const std::optional<qint32> level = segment.attach() ? segment.read() : std::nullopt;
    if (!level) {
        std::fprintf(stderr, "%s: cannot be had\n", qPrintable(args.last()));
        return 1;
    }
    std::printf("%d\n", *level);
    return 0;
}
