// The in-process spotlight overlay: a veil over the desktop with a clear
// circle that follows the pointer and shows the screen as it was when the
// overlay came up.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRect>

class Widget;

namespace Ui {
class Dialog;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(Widget *parent);
    ~Dialog() override;

    // 1 to 4 choose the circle's size; any other level the largest.
    void setLevel(int level);

    // The square that holds the circle of that level around the pointer,
    // pushed back inside a desktop of that size.
    static QRect circleSquare(const QPoint &pointer, int level, int screenWidth, int screenHeight);

    // The desktop as it was when the overlay was shown; null while hidden.
    const QPixmap &capture() const { return grab; }

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    virtual QPixmap captureDesktop() const;

private:
    Ui::Dialog *ui = nullptr;
    Widget *owner = nullptr;
    QPixmap grab;
    int level = 0;
};
