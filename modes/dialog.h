// The in-process spotlight overlay: a veil over its screen with a clear
// circle that follows the pointer and shows the screen as it was when the
// overlay came up.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRect>

namespace Ui {
class Dialog;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    // 1 to 4 choose the circle's size; any other level the largest.
    void setLevel(int level);

    // The square that holds the circle of that level around the pointer,
    // pushed back inside a screen of that size.
    static QRect circleSquare(const QPoint &pointer, int level, int screenWidth, int screenHeight);

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent *event) override;

    virtual QPixmap captureDesktop() const;

private:
    Ui::Dialog *ui = nullptr;
    QPixmap grab;
    int level = 0;
};
