<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Dialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
</context>
<context>
    <name>DialogClient</name>
    <message>
        <source>功能导航</source>
        <translation>Function navigation</translation>
    </message>
</context>
<context>
    <name>HightDialog</name>
    <message>
        <source>高级设置界面</source>
        <translation>Advanced settings</translation>
    </message>
    <message>
        <source>确 定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取 消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>16进制数</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>单击键1:</source>
        <translation>Key1 click</translation>
    </message>
    <message>
        <source>长按键1:</source>
        <translation>Key1 hold</translation>
    </message>
    <message>
        <source>单击键2:</source>
        <translation>Key2 click</translation>
    </message>
    <message>
        <source>长按键2:</source>
        <translation>Key2 hold</translation>
    </message>
    <message>
        <source>单击键3:</source>
        <translation>Key3 click</translation>
    </message>
    <message>
        <source>长按键3:</source>
        <translation>Key3 hold</translation>
    </message>
    <message>
        <source>单击键4:</source>
        <translation>Key4 click</translation>
    </message>
    <message>
        <source>长按键4:</source>
        <translation>Key4 hold</translation>
    </message>
    <message>
        <source>单击键5:</source>
        <translation>Key5 click</translation>
    </message>
    <message>
        <source>长按键5:</source>
        <translation>Key5 hold</translation>
    </message>
    <message>
        <source>单击键6:</source>
        <translation>Key6 click</translation>
    </message>
    <message>
        <source>长按键6:</source>
        <translation>Key6 hold</translation>
    </message>
    <message>
        <source>%1, action %2 is empty: type one or two hexadecimal digits. Nothing was written.</source>
        <translation>%1, action %2 is empty: type one or two hexadecimal digits. Nothing was written.</translation>
    </message>
</context>
<context>
    <name>ShellDrawing</name>
    <message>
        <source>Quorvant</source>
        <translation>Quorvant</translation>
    </message>
    <message>
        <source>On GNOME, Quorvant draws its laser pointer, magnifier and spotlight through its GNOME Shell extension, which is off. Turn it on?</source>
        <translation>On GNOME, Quorvant draws its laser pointer, magnifier and spotlight through its GNOME Shell extension, which is off. Turn it on?</translation>
    </message>
    <message>
        <source>Quorvant&apos;s GNOME Shell extension: %1. Until it runs, the effects are drawn through XWayland: the magnifier shows nothing over Wayland windows, and clicks do not reach them while an effect is on.</source>
        <translation>Quorvant&apos;s GNOME Shell extension: %1. Until it runs, the effects are drawn through XWayland: the magnifier shows nothing over Wayland windows, and clicks do not reach them while an effect is on.</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Prompt</translation>
    </message>
</context>
<context>
    <name>ShowModeDiag</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>Widget</source>
        <translation>Widget</translation>
    </message>
    <message>
        <source>动作1</source>
        <translation>Action 1</translation>
    </message>
    <message>
        <source>动作2</source>
        <translation>Action 2</translation>
    </message>
    <message>
        <source>动作3</source>
        <translation>Action 3</translation>
    </message>
    <message>
        <source>动作4</source>
        <translation>Action 4</translation>
    </message>
    <message>
        <source>激光笔快捷设置</source>
        <translation>Laser pen shortcut settings</translation>
    </message>
    <message>
        <source>单击Key1:</source>
        <translation>Key1 click</translation>
    </message>
    <message>
        <source>单击Key2:</source>
        <translation>Key2 click</translation>
    </message>
    <message>
        <source>单击Key3:</source>
        <translation>Key3 click</translation>
    </message>
    <message>
        <source>单击Key4:</source>
        <translation>Key4 click</translation>
    </message>
    <message>
        <source>长按Key3:</source>
        <translation>Key3 hold</translation>
    </message>
    <message>
        <source>长按Key2:</source>
        <translation>Key2 hold</translation>
    </message>
    <message>
        <source>长按Key1:</source>
        <translation>Key1 hold</translation>
    </message>
    <message>
        <source>长按Key4:</source>
        <translation>Key4 hold</translation>
    </message>
    <message>
        <source>单击Key5:</source>
        <translation>Key5 click</translation>
    </message>
    <message>
        <source>长按Key5:</source>
        <translation>Key5 hold</translation>
    </message>
    <message>
        <source>长按Key6:</source>
        <translation>Key6 hold</translation>
    </message>
    <message>
        <source>单击Key6:</source>
        <translation>Key6 click</translation>
    </message>
    <message>
        <source>Write to pen</source>
        <translation>Write to pen</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>Advanced…</source>
        <translation>Advanced…</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Prompt</translation>
    </message>
    <message>
        <source>Laser pointer mode</source>
        <translation>Laser pointer mode</translation>
    </message>
    <message>
        <source> Prompt </source>
        <translation> Prompt </translation>
    </message>
    <message>
        <source>Laser pointer mode is running!</source>
        <translation>Laser pointer mode is running!</translation>
    </message>
    <message>
        <source>Laser pointer mode: %1 could not be started.</source>
        <translation>Laser pointer mode: %1 could not be started.</translation>
    </message>
    <message>
        <source>Magnifier mode</source>
        <translation>Magnifier mode</translation>
    </message>
    <message>
        <source>Magnifier mode is running!</source>
        <translation>Magnifier mode is running!</translation>
    </message>
    <message>
        <source>Magnifier mode: %1 could not be started.</source>
        <translation>Magnifier mode: %1 could not be started.</translation>
    </message>
    <message>
        <source>Spotlight mode!</source>
        <translation>Spotlight mode!</translation>
    </message>
    <message>
        <source>Spotlight mode is running!</source>
        <translation>Spotlight mode is running!</translation>
    </message>
    <message>
        <source>Spotlight mode: %1 could not be started.</source>
        <translation>Spotlight mode: %1 could not be started.</translation>
    </message>
    <message>
        <source>The pen&apos;s receiver is not plugged in.</source>
        <translation>The pen&apos;s receiver is not plugged in.</translation>
    </message>
    <message>
        <source>Write the keys above to the pen</source>
        <translation>Write the keys above to the pen</translation>
    </message>
    <message>
        <source>Put the pen&apos;s own key settings back</source>
        <translation>Put the pen&apos;s own key settings back</translation>
    </message>
    <message>
        <source>Edit the keys as hexadecimal codes</source>
        <translation>Edit the keys as hexadecimal codes</translation>
    </message>
    <message>
        <source>The keys could not be written to the pen.</source>
        <translation>The keys could not be written to the pen.</translation>
    </message>
    <message>
        <source>Modify pen shortcut key successfully!</source>
        <translation>Modify pen shortcut key successfully!</translation>
    </message>
    <message>
        <source>Restore the pen&apos;s factory key settings? The current keys on the pen are replaced.</source>
        <translation>Restore the pen&apos;s factory key settings? The current keys on the pen are replaced.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>The pen&apos;s key settings could not be restored.</source>
        <translation>The pen&apos;s key settings could not be restored.</translation>
    </message>
    <message>
        <source>One click Reset shortcut key succeeded!</source>
        <translation>One click Reset shortcut key succeeded!</translation>
    </message>
    <message>
        <source>Function navigation (&amp;S)</source>
        <translation>Function navigation (&amp;S)</translation>
    </message>
    <message>
        <source>Key settings (&amp;K)</source>
        <translation>Key settings (&amp;K)</translation>
    </message>
    <message>
        <source>Exit(&amp;E)</source>
        <translation>Exit(&amp;E)</translation>
    </message>
    <message>
        <source>The pen&apos;s receiver is plugged in, but this user may not use it. Install Quorvant&apos;s package, or copy its udev rule 70-quorvant.rules to /etc/udev/rules.d/; the receiver is then taken at once.</source>
        <translation>The pen&apos;s receiver is plugged in, but this user may not use it. Install Quorvant&apos;s package, or copy its udev rule 70-quorvant.rules to /etc/udev/rules.d/; the receiver is then taken at once.</translation>
    </message>
    <message>
        <source>This is TALVE laser intelligent pen management software!</source>
        <translation>This is TALVE laser intelligent pen management software!</translation>
    </message>
    <message>
        <source>Electronic laser</source>
        <translation>Electronic laser</translation>
    </message>
    <message>
        <source>Magnifier</source>
        <translation>Magnifier</translation>
    </message>
    <message>
        <source>Spotlight</source>
        <translation>Spotlight</translation>
    </message>
    <message>
        <source>Normal use</source>
        <translation>Normal use</translation>
    </message>
    <message>
        <source>Quorvant: receiver not plugged in</source>
        <translation>Quorvant: receiver not plugged in</translation>
    </message>
    <message>
        <source>Quorvant: receiver plugged in</source>
        <translation>Quorvant: receiver plugged in</translation>
    </message>
    <message>
        <source>Quorvant: receiver plugged in, but this user may not open it (see quorvant-diagnose)</source>
        <translation>Quorvant: receiver plugged in, but this user may not open it (see quorvant-diagnose)</translation>
    </message>
</context>
</TS>
