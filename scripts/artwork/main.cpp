// Paints the program's pictures: the tray icons, the title icon, the
// navigation page and the main window's shortcut page.
//
//   paint-artwork <repository root> [<preview folder>]
//
// Writes data/2.png, data/3.png, data/4.png, data/11.png, data/pp.png, resources/11.png,
// resources/6.jpg and resources/down-arrow.png below the root. With a preview folder
// it also writes sheets that show the icons at tray sizes and the shortcut
// page as the main window shows it, and the program's forms dressed in
// data/blue.css. Exits with 1 and writes nothing when a
// text does not fit or a face lacks a character; the rejected pictures are
// then left in a scratch folder for a look.

#include "canvas.h"
#include "pictures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QTextStream>

namespace {

bool loadFont(const QString &file, const QString &family)
{
    if (QFontDatabase::addApplicationFont(file) < 0) {
        QTextStream(stderr) << "cannot load " << file << "\n";
        return false;
    }
    if (QFontInfo(QFont(family)).family() != family) {
        QTextStream(stderr) << "font family " << family << " not available after loading " << file << "\n";
        return false;
    }
    return true;
}

bool report()
{
    if (faults().isEmpty())
        return true;
    QTextStream err(stderr);
    for (const QString &f : faults())
        err << f << "\n";
    return false;
}

// Icons at the sizes a tray shows them, on a light and on a dark taskbar.
void iconSheet(const QString &path, const QStringList &icons)
{
    const QList<int> sizes { 16, 20, 24, 32, 64 };
    const int cell = 80;
    QImage sheet(cell * sizes.size(), cell * icons.size() * 2, QImage::Format_RGB32);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = 0; row < icons.size() * 2; ++row) {
        const QImage icon(icons[row / 2]);
        const QColor back = row % 2 ? QColor(0x20, 0x20, 0x20) : QColor(0xF3, 0xF3, 0xF3);
        p.fillRect(QRect(0, row * cell, sheet.width(), cell), back);
        for (int i = 0; i < sizes.size(); ++i) {
            const int s = sizes[i];
            const QImage scaled = icon.scaled(s, s, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            p.drawImage(QPoint(i * cell + (cell - s) / 2, row * cell + (cell - s) / 2), scaled);
        }
    }
    p.end();
    sheet.save(path);
}

// The title icon on the title bar's blue, as the windows show it.
void titleSheet(const QString &path, const QString &icon)
{
    QImage sheet(300, 50, QImage::Format_RGB32);
    sheet.fill(QColor(79, 148, 205));
    QPainter p(&sheet);
    p.drawImage(QPoint(0, 0), QImage(icon));
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(50, 0, 250, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vexilo V2.1.0"));
    p.end();
    sheet.save(path);
}

// The part of the shortcut page that the main window's group box shows.
void shortcutView(const QString &path, const QString &picture)
{
    QImage(picture).copy(0, 50, 780, 500).save(path);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        QTextStream(stderr) << "usage: paint-artwork <repository root> [<preview folder>]\n";
        return 2;
    }
    const QDir root(args[1]);
    if (!loadFont(QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"),
            QStringLiteral("WenQuanYi Micro Hei"))
        || !loadFont(root.filePath(QStringLiteral("resources/fontawesome-webfont.ttf")),
            QStringLiteral("FontAwesome")))
        return 1;

    // Painted into a scratch folder first, so that a failed run leaves the
    // committed pictures alone.
    const QString scratch
        = QDir::temp().filePath(QStringLiteral("quorvant-artwork-%1").arg(app.applicationPid()));
    QDir().mkpath(scratch);
    const QDir out(scratch);
    const QString absent = out.filePath(QStringLiteral("2.png"));
    const QString present = out.filePath(QStringLiteral("3.png"));
    const QString denied = out.filePath(QStringLiteral("4.png"));
    const QString title = out.filePath(QStringLiteral("11.png"));
    const QString guide = out.filePath(QStringLiteral("pp.png"));
    const QString shortcuts = out.filePath(QStringLiteral("6.jpg"));
    const QString arrow = out.filePath(QStringLiteral("down-arrow.png"));

    paintTrayIcons(absent, present, denied);
    paintTitleIcon(title);
    paintComboArrow(arrow);
    paintGuide(guide, absent, present);
    paintShortcuts(shortcuts);
    // Sheets for the eye come first: they help most when a check fails.
    if (args.size() == 3) {
        const QDir preview(args[2]);
        QDir().mkpath(preview.path());
        iconSheet(preview.filePath(QStringLiteral("tray-icons.png")), { absent, present, denied, title });
        titleSheet(preview.filePath(QStringLiteral("title-bar.png")), title);
        shortcutView(preview.filePath(QStringLiteral("shortcuts-seen.png")), shortcuts);
        previewStyleSheet(
            app, root.path(), preview.path(), { absent, present, title, guide, shortcuts, arrow });
    }
    if (!report()) {
        QTextStream(stderr) << "nothing written; the rejected pictures are in " << scratch << "\n";
        return 1;
    }

    const QList<QPair<QString, QString>> places {
        { absent, QStringLiteral("data/2.png") },
        { present, QStringLiteral("data/3.png") },
        { denied, QStringLiteral("data/4.png") },
        { title, QStringLiteral("data/11.png") },
        { guide, QStringLiteral("data/pp.png") },
        { title, QStringLiteral("resources/11.png") },
        { shortcuts, QStringLiteral("resources/6.jpg") },
        { arrow, QStringLiteral("resources/down-arrow.png") },
    };
    bool ok = true;
    for (const auto &[from, to] : places) {
        const QString target = root.filePath(to);
        QFile::remove(target);
        if (!QFile::copy(from, target)) {
            QTextStream(stderr) << "cannot write " << target << "\n";
            ok = false;
        }
    }

    QDir(scratch).removeRecursively();
    return ok ? 0 : 1;
}
