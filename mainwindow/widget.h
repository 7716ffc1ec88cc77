// The main window and the program's hub: it owns the device link, the
// dialogs, the tray icon and the shared-memory segments of the effect
// programs, and every signal of the device link ends in one of its slots.
// Its slots are spread over files by concern: tray.cpp, shutdown.cpp,
// modes.cpp, notices.cpp, keymap_editor.cpp, transfers.cpp, chrome.cpp.
#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

#include "device/protocol.h"

class QComboBox;
class QSharedMemory;
class QShortcut;
class QSocketNotifier;
class Dialog;
class DialogClient;
class HightDialog;
class ShowModeDiag;
class usbhid;

namespace platform {
class Platform;
}

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
    // A null platform uses the system's own.
    explicit Widget(QWidget *parent = nullptr, platform::Platform *platform = nullptr);
    ~Widget() override;

    // The presentation modes, as kept in currentMode.
    enum Mode { NormalMode = 0, MagnifierMode = 1, SpotlightMode = 2, LaserMode = 3 };

    // Read by the dialogs the window hands itself to, and by tests.
    Ui::Widget *ui = nullptr;
    int screenWidth = 0;
    int screenHeight = 0;
    QPoint dragOffset;
    bool dragging = false;
    int currentMode = NormalMode;
    usbhid *usbHid = nullptr;
    protocol::Image keyValue {};
    protocol::Image savedKeyValue {};
    QStringList cursorNames;
    QStringList cursorFiles;
    QSystemTrayIcon *trayIcon = nullptr;
    ShowModeDiag *modeDiag = nullptr;
    DialogClient *navDialog = nullptr;
    HightDialog *hightDialog = nullptr;
    Dialog *overlay = nullptr;
    QList<QComboBox *> keyCombos;
    int magnifierSize = 3;
    int qyLightSize = 3;
    int redDotrixSize = 3;
    QSharedMemory *magnifierShared = nullptr;
    QSharedMemory *dotrixShared = nullptr;
    QSharedMemory *halvixShared = nullptr;

    platform::Platform *platformServices() const { return platform; }

    // The mapping write from keyValue: checksums stored, both blocks sent,
    // savedKeyValue updated on success. Returns whether it went out. Shared
    // by the editor's write and the advanced dialog.
    bool writeMapping();

    // The settings file beside the executable.
    static QString settingsPath();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void onExit();
    void ShowUI();
    void onExit_clicked();
    void onDotrix(int nSize);
    void onLoupex(int n);
    void onQyLight(int size);
    void onNormal();
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
    void onShowKeyValue1();
    void onShowKeyValue2();
    void onNavigation();
    void iconIsActived(QSystemTrayIcon::ActivationReason reason);

private:
    // tray.cpp
    void init();
    void setAutoStart();
    void showBalloon(const QString &title, const QString &text);
    void showPresence(bool present);
    void requestReadBack();

    // cursor.cpp
    void restoreCursors();

    // shutdown.cpp
    void saveSizes();
    void installSessionEndHandlers();
    void onTerminationSignal();

    // modes.cpp
    void switchMode(int mode, int n);
    void killEffect(int mode);
    void storeSize(int mode);
    void createSegments();

    // notices.cpp
    void showNotice(const QString &text);

    // keymap_editor.cpp
    void fillKeyCombos();
    void onKeyChanged(int boxNumber);
    void loadBlock(int block);

    // transfers.cpp
    void addTransferShortcuts();

    // chrome.cpp
    void setUpTitleBar();

    std::unique_ptr<platform::Platform> ownPlatform;
    platform::Platform *platform = nullptr;
    QIcon presentIcon;
    QIcon absentIcon;
    int trayState = -1; // the icon last set: -1 none yet, 0 absent, 1 present
    QSocketNotifier *terminationNotifier = nullptr;
    QList<QShortcut *> transferShortcuts;
    bool shuttingDown = false;
};
