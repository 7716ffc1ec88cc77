#pragma once

#include <QString>

// Each painter writes its picture to the given path. The tray icons: the
// receiver not plugged in, plugged in, plugged in but not this user's to open.
void paintTrayIcons(const QString &absentPath, const QString &presentPath, const QString &deniedPath);
void paintTitleIcon(const QString &path);
// The drop-down arrow of the style sheet's combo boxes, 12 x 8.
void paintComboArrow(const QString &path);
// The "功能导航" page of the navigation window, 850 x 500.
void paintGuide(const QString &path, const QString &absentIcon, const QString &presentIcon);
// The main window's shortcut page, 781 x 601.
void paintShortcuts(const QString &path);

// Where one run put its pictures.
struct Pictures
{
    QString absentIcon;
    QString presentIcon;
    QString titleIcon;
    QString guide;
    QString shortcuts;
    QString comboArrow;
};

class QApplication;
// Renders the program's forms with data/blue.css and the given pictures, in
// the Fusion and the Windows style, as style-*.png files in folder.
void previewStyleSheet(QApplication &app, const QString &root, const QString &folder, const Pictures &pics);
