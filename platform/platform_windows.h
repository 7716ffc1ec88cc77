// What the Windows services write, visible to the tests that read it back.
// Windows-only, so that the shared header stays free of it.
#pragma once

#include <array>
#include <string>

namespace platform {

// One role of the pointer scheme: the registry value name and its file.
struct CursorEntry
{
    const wchar_t *name;
    const wchar_t *file;
};

// The standard Aero cursor files, as Windows itself stores them under
// "HKEY_CURRENT_USER\Control Panel\Cursors": environment references unexpanded.
extern const std::array<CursorEntry, 13> standardCursors;

// The class of the message-only window through which a device monitor hears
// of HID interfaces; one window per monitor.
extern const wchar_t deviceWindowClass[];

// The data of the autostart value: the executable's path in Windows form,
// then " -bg".
std::wstring windowsRunValue(const std::string &appFilePath);

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring widen(const std::string &utf8);

} // namespace platform
