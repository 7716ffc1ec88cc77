// The navigation window the tray opens: the shared title bar above a picture
// that explains the pen, read from the data folder beside the program.
#pragma once

#include <QDialog>

class FramelessWindow;

namespace Ui {
class DialogClient;
}

class DialogClient : public QDialog
{
    Q_OBJECT

public:
    explicit DialogClient(QWidget *parent = nullptr);
    ~DialogClient() override;

protected:
    // The picture is held only while the window is up, and the window
    // system's window only while it is shown.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void onExit();

private:
    Ui::DialogClient *ui = nullptr;
    FramelessWindow *chrome = nullptr;
};
