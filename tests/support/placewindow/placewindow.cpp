// quorvant-placewindow KIND WIDTH HEIGHT: a window whose every pixel names
// its place, so that a screenshot tells where each window lies, how large it
// is and what an effect shows of it. Red is x's low byte, green y's; blue
// holds x's and y's high bits (0-2, 3-5), the window's KIND (bit 6) and the
// page (bit 7), which each key press turns. Presses of buttons and keys are
// written to standard output, one line each, as a slide show would act on
// them.
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class PlaceWindow : public QRasterWindow
{
public:
    explicit PlaceWindow(int kind)
        : kind_(kind)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QImage pixels(size(), QImage::Format_RGB32);
        for (int y = 0; y < pixels.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(pixels.scanLine(y));
            for (int x = 0; x < pixels.width(); ++x)
                line[x] = qRgb(x & 0xff, y & 0xff,
                    (x >> 8 & 7) | (y >> 8 & 7) << 3 | (kind_ & 1) << 6 | (page_ ? 0x80 : 0));
        }
        QPainter(this).drawImage(0, 0, pixels);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        page_ = !page_;
        std::printf("key %s\n", qPrintable(event->text()));
        std::fflush(stdout);
        update();
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        std::printf("click %d %d\n", event->pos().x(), event->pos().y());
        std::fflush(stdout);
    }

private:
    int kind_;
    bool page_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    PlaceWindow window(QByteArray(argv[1]).toInt());
    window.setTitle(QStringLiteral("quorvant-place-%1").arg(argv[1]));
    window.resize(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    window.show();
    return app.exec();
}
