// The main window: the key-mapping editor, the tray icon and the windows the
// program shows. It shows a session and acts on it; the state is the
// session's. Its slots are spread over files by concern: widget.cpp (wiring,
// notices), tray.cpp, keymap_editor.cpp, shutdown.cpp.
#pragma once

#include <QIcon>
#include <QList>
#include <QSystemTrayIcon>
#include <QWidget>

class QAction;
class QComboBox;
class Dialog;
class DialogClient;
class FramelessWindow;
class HightDialog;
class Session;
class LayerNotice;
class ShellDrawing;
class ShowModeDiag;
class TrayHost;

namespace Ui {
class Widget;
}

// Makes the compiled-in images and icon font available. Called once by
// main (and by tests) before any window is built.
void quorvantInitResources();

class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(Session *session, QWidget *parent = nullptr);
    ~Widget() override;

private slots:
    void onExit();
    void onExit_clicked();
    void onSetKey();
    void onSetLazer();
    void onSetMagnify();
    void onSetSpotLight();
    void onSetNormalUse();
    void onKeyOK();
    void onKey1();
    void onKey2();
    void onKey3();
    void onKey4();
    void onKey5();
    void onKey6();
    void onKey7();
    void onKey8();
    void onKey11();
    void onKey12();
    void onKey13();
    void onKey14();
    void onKey15();
    void onKey16();
    void onKey17();
    void onKey18();
    void onKey21();
    void onKey22();
    void onKey23();
    void onKey24();
    void onKey25();
    void onKey26();
    void onKey27();
    void onKey28();
    void onKey31();
    void onKey32();
    void onKey33();
    void onKey34();
    void onKey35();
    void onKey36();
    void onKey37();
    void onKey38();
    void onKey51();
    void onKey52();
    void onKey53();
    void onKey54();
    void onKey55();
    void onKey56();
    void onKey57();
    void onKey58();
    void onKey61();
    void onKey62();
    void onKey63();
    void onKey64();
    void onKey65();
    void onKey66();
    void onKey67();
    void onKey68();
    void onAdvancedSet();
    void onReset();
    void ResetOK();
    void onNavigation();
    void iconIsActived(QSystemTrayIcon::ActivationReason reason);
    // The key settings from the tray menu: the window with its grid uncovered.
    void onKeySettings();

protected:
    // A window manager's close hides the window to the tray, as its own close
    // button does; only the tray menu's exit ends the program.
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // tray.cpp
    void init();
    // The tray icon, once a notification area is there.
    void makeTrayIcon();
    void showBalloon(const QString &title, const QString &text);
    // The receiver's state in the tray icon and its tool tip.
    void showPresence();

    // widget.cpp
    void showNotice(const QString &text);

    // keymap_editor.cpp
    void setUpKeyGrid();
    void onKeyChanged(int boxNumber);
    void showCode(int slot);
    void enableTransfers(bool present);

    // shutdown.cpp
    void watchSessionEnd();

    Session *session = nullptr;
    Ui::Widget *ui = nullptr;
    FramelessWindow *chrome = nullptr;
    // None until a notification area is there.
    QSystemTrayIcon *trayIcon = nullptr;
    TrayHost *trayHost = nullptr;
    QList<QAction *> trayActions; // the tray menu's entries
    ShowModeDiag *modeDiag = nullptr;
    // GNOME Shell's drawing of the notice and the effects; none on Windows.
    ShellDrawing *shellDrawing = nullptr;
    LayerNotice *layerNotice = nullptr;
    DialogClient *navDialog = nullptr;
    HightDialog *hightDialog = nullptr;
    Dialog *overlay = nullptr;
    QList<QComboBox *> keyCombos; // in mapping-slot order
    QIcon presentIcon;
    QIcon absentIcon;
    QIcon deniedIcon;
    int trayState = -1; // the icon last set: -1 none yet, 0 absent, 1 present, 2 denied
};
