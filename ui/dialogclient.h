// The navigation window the tray opens: the shared title bar above a picture
// that explains the pen, read from the data folder beside the program.
#pragma once

#include <QDialog>
#include <QPoint>

class Widget;

namespace Ui {
class DialogClient;
}

class DialogClient : public QDialog
{
    Q_OBJECT

public:
    explicit DialogClient(Widget *parent);
    ~DialogClient() override;

    // Where a dialog is first placed on a desktop of that size. The dialog is
    // shown at 850 x 550 but placed as if it were 800 x 500.
    static QPoint initialPosition(int screenWidth, int screenHeight);

    // Read by tests.
    Ui::DialogClient *ui = nullptr;
    QPoint dragOffset;
    bool dragging = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void onExit();

private:
    Widget *mainWidget = nullptr;
};
