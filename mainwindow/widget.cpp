#include "mainwindow/widget.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopWidget>
#include <QEvent>
#include <QSharedMemory>
#include <QShortcut>

#include "device/usbhid.h"
#include "keymap/hightdialog.h"
#include "modes/dialog.h"
#include "modes/showmodediag.h"
#include "platform/platform.h"
#include "ui/dialogclient.h"
#include "ui_widget.h"

void quorvantInitResources()
{
    Q_INIT_RESOURCE(resources);
}

Widget::Widget(QWidget *parent, platform::Platform *platform_)
    : QWidget(parent)
    , platform(platform_)
{
    if (!platform) {
        ownPlatform = platform::createPlatform();
        platform = ownPlatform.get();
    }

    ui = new Ui::Widget;
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);

    const QRect desktop = QApplication::desktop()->geometry();
    screenWidth = desktop.right() - desktop.left() + 1;
    screenHeight = desktop.bottom() - desktop.top() + 1;

    overlay = nullptr;
    dragging = false;
    setUpTitleBar();

    currentMode = NormalMode;
    keyValue = protocol::blankImage();
    savedKeyValue = protocol::blankImage();

    usbHid = new usbhid(nullptr, platform);

    overlay = new Dialog(this);
    hightDialog = new HightDialog(this);
    navDialog = new DialogClient(this);
    modeDiag = new ShowModeDiag(this);

    connect(usbHid, SIGNAL(open_Qy(int)), this, SLOT(onDotrix(int)));
    connect(usbHid, SIGNAL(open_Magnify(int)), this, SLOT(onLoupex(int)));
    connect(usbHid, SIGNAL(open_QyLight(int)), this, SLOT(onQyLight(int)));
    connect(usbHid, SIGNAL(setNormal()), this, SLOT(onNormal()));
    connect(usbHid, SIGNAL(setKeyOK()), this, SLOT(onKeyOK()));
    connect(usbHid, SIGNAL(setResetOK()), this, SLOT(ResetOK()));
    connect(usbHid, SIGNAL(setLazer()), this, SLOT(onSetLazer()));
    connect(usbHid, SIGNAL(setMagnify()), this, SLOT(onSetMagnify()));
    connect(usbHid, SIGNAL(setSpotLight()), this, SLOT(onSetSpotLight()));
    connect(usbHid, SIGNAL(setNormalUse()), this, SLOT(onSetNormalUse()));
    connect(usbHid, SIGNAL(setData1()), this, SLOT(onShowKeyValue1()));
    connect(usbHid, SIGNAL(setData2()), this, SLOT(onShowKeyValue2()));

    fillKeyCombos();
    addTransferShortcuts();
    createSegments();
    init();
}

Widget::~Widget()
{
    delete usbHid;
    usbHid = nullptr;
    delete trayIcon;
    trayIcon = nullptr;
    delete overlay;
    overlay = nullptr;
    delete hightDialog;
    hightDialog = nullptr;
    delete navDialog;
    navDialog = nullptr;
    delete modeDiag;
    modeDiag = nullptr;
    delete magnifierShared;
    magnifierShared = nullptr;
    delete dotrixShared;
    dotrixShared = nullptr;
    delete halvixShared;
    halvixShared = nullptr;
    qDeleteAll(transferShortcuts);
    transferShortcuts.clear();
    delete ui;
    ui = nullptr;
}

bool Widget::eventFilter(QObject *watched, QEvent *event)
{
    // A double click on the title would otherwise reach the label.
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    return QObject::eventFilter(watched, event);
}
