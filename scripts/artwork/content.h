#pragma once

#include "canvas.h"

#include <QVector>

// What the pictures say about the pen. Both guide pages read from here, so
// the navigation page and the shortcut page never disagree.

struct KeyAction
{
    QString chip; // what is sent, or the function when nothing is sent
    bool code; // chip names a key code rather than a function
    QString caption; // what it does, in a few characters
};

struct KeyInfo
{
    int number;
    QChar glyph; // printed on the key; a null glyph prints "M"
    QString nameCn;
    QString nameEn;
    QString doesCn;
    QString doesEn;
    KeyAction click;
    KeyAction hold;
};

struct ModeInfo
{
    QChar glyph;
    QColor colour;
    QString nameCn;
    QString nameEn;
    QString doesCn;
    QString doesEn;
};

// The key that steps through the modes.
inline constexpr int modeKey = 5;

inline QVector<KeyInfo> penKeys()
{
    return {
        { 1, glyph::dotCircle, QStringLiteral("效果键"), QStringLiteral("Effect"),
            QStringLiteral("按住显示激光点、放大镜或聚光灯"),
            QStringLiteral("Hold to show the mode's effect"),
            { QStringLiteral("MOUSE_L"), true, QStringLiteral("鼠标左键") },
            { QStringLiteral("显示效果"), false, QStringLiteral("激光 / 放大 / 聚光") } },
        { 2, glyph::chevronUp, QStringLiteral("上一页"), QStringLiteral("Previous"),
            QStringLiteral("返回上一张幻灯片"), QStringLiteral("Go back one slide"),
            { QStringLiteral("PageUp"), true, QStringLiteral("上一页") },
            { QStringLiteral("Home"), true, QStringLiteral("回到首页") } },
        { 3, glyph::chevronDown, QStringLiteral("下一页"), QStringLiteral("Next"),
            QStringLiteral("翻到下一张幻灯片"), QStringLiteral("Go to the next slide"),
            { QStringLiteral("PageDown"), true, QStringLiteral("下一页") },
            { QStringLiteral("End"), true, QStringLiteral("跳到末页") } },
        { 4, glyph::play, QStringLiteral("放映键"), QStringLiteral("Slide show"),
            QStringLiteral("开始 / 退出幻灯片放映"), QStringLiteral("Start or end the slide show"),
            { QStringLiteral("Shift+F5/Esc"), true, QStringLiteral("放映 / 退出") },
            { QStringLiteral("F5"), true, QStringLiteral("从头放映") } },
        { 5, QChar(), QStringLiteral("模式键"), QStringLiteral("Mode"),
            QStringLiteral("依次切换四种演示模式"), QStringLiteral("Switch the presentation mode"),
            { QStringLiteral("切换模式"), false, QStringLiteral("下一种模式") },
            { QStringLiteral("普通模式"), false, QStringLiteral("关闭屏幕效果") } },
        { 6, glyph::square, QStringLiteral("黑屏键"), QStringLiteral("Blank"),
            QStringLiteral("黑屏 / 恢复画面"), QStringLiteral("Black the screen out and back"),
            { QStringLiteral("B"), true, QStringLiteral("黑屏 / 恢复") },
            { QStringLiteral("W"), true, QStringLiteral("白屏 / 恢复") } },
    };
}

inline QVector<ModeInfo> penModes()
{
    return {
        { glyph::dotCircle, ink::laser, QStringLiteral("激光笔"), QStringLiteral("Laser pointer"),
            QStringLiteral("屏幕上显示红色光点"), QStringLiteral("A red dot follows the pen") },
        { glyph::searchPlus, ink::magnifier, QStringLiteral("放大镜"), QStringLiteral("Magnifier"),
            QStringLiteral("放大指针周围的内容"), QStringLiteral("Zooms in around the pointer") },
        { glyph::sun, ink::spotlight, QStringLiteral("聚光灯"), QStringLiteral("Spotlight"),
            QStringLiteral("压暗屏幕，照亮一处"), QStringLiteral("Dims all but one bright spot") },
        { glyph::pointer, ink::normal, QStringLiteral("普通模式"), QStringLiteral("Normal use"),
            QStringLiteral("只用按键，无屏幕效果"), QStringLiteral("Keys only, no screen effect") },
    };
}
