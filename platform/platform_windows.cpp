// Windows services: effect programs are found in a process snapshot, started
// through the shell and ended with TerminateProcess; autostart and the pointer
// scheme live in the registry.
#include "platform/platform_windows.h"
#include "platform/platform.h"

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>

namespace platform {

const std::array<CursorEntry, 13> standardCursors = { {
    { L"AppStarting", L"%SystemRoot%\\cursors\\aero_working.ani" },
    { L"Arrow", L"%SYSTEMROOT%\\Cursors\\aero_arrow.cur" },
    { L"Hand", L"%SystemRoot%\\cursors\\aero_link.cur" },
    { L"Help", L"%SystemRoot%\\cursors\\aero_helpsel.cur" },
    { L"No", L"%SystemRoot%\\cursors\\aero_unavail.cur" },
    { L"NWPen", L"%SystemRoot%\\cursors\\aero_pen.cur" },
    { L"SizeAll", L"%SystemRoot%\\cursors\\aero_move.cur" },
    { L"SizeNESW", L"%SystemRoot%\\cursors\\aero_nesw.cur" },
    { L"SizeNS", L"%SystemRoot%\\cursors\\aero_ns.cur" },
    { L"SizeNWSE", L"%SystemRoot%\\cursors\\aero_nwse.cur" },
    { L"SizeWE", L"%SystemRoot%\\cursors\\aero_ew.cur" },
    { L"UpArrow", L"%SystemRoot%\\cursors\\aero_up.cur" },
    { L"Wait", L"%SystemRoot%\\cursors\\aero_busy.ani" },
} };

std::wstring widen(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], length);
    return wide;
}

namespace {

std::wstring windowsPath(const std::string &path)
{
    std::wstring wide = widen(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t cursorsKey[] = L"Control Panel\\Cursors";

bool setString(HKEY key, const wchar_t *name, const std::wstring &data, DWORD type)
{
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE *>(data.c_str()), bytes)
        == ERROR_SUCCESS;
}

bool setRunValue(HKEY root, const std::wstring &data)
{
    HKEY key;
    if (RegCreateKeyExW(
            root, runKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const bool ok = setString(key, L"Quorvant", data, REG_SZ);
    RegCloseKey(key);
    return ok;
}

// Calls `visit` with the id of each process whose executable is `file`
// (compared case-sensitively), until it returns false.
template <typename Visit> void forEachProcessOf(const std::wstring &file, Visit visit)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (std::wcscmp(entry.szExeFile, file.c_str()) == 0 && !visit(entry.th32ProcessID))
            break;
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snapshot);
}

class WindowsPlatform final : public Platform
{
public:
    std::string programFile(const std::string &program) const override { return program + ".exe"; }

    bool isRunning(const std::string &program) override
    {
        bool found = false;
        forEachProcessOf(widen(programFile(program)), [&](DWORD) {
            found = true;
            return false;
        });
        return found;
    }

    // The path goes to the shell in UTF-16: an application folder whose name
    // holds characters of another code page would not survive a narrow one.
    bool startProgram(const std::string &appDir, const std::string &program) override
    {
        const std::wstring path = windowsPath(appDir + "/" + programFile(program));
        const HINSTANCE result
            = ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }

    // What "taskkill /f" does, without a process of its own to wait for.
    int stopProgram(const std::string &program) override
    {
        int found = 0, stopped = 0;
        forEachProcessOf(widen(programFile(program)), [&](DWORD id) {
            ++found;
            if (const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
                stopped += TerminateProcess(process, 1) != FALSE;
                CloseHandle(process);
            }
            return true;
        });
        return found == 0 ? 1 : stopped > 0 ? 0 : 2;
    }

    std::unique_ptr<DeviceMonitor> watchDevices(DeviceCallback) override { return nullptr; }

    bool openDenied(const std::string &) override { return GetLastError() == ERROR_ACCESS_DENIED; }

    // A program without a console hears of the session's end through the
    // window messages that the toolkit answers itself.
    std::unique_ptr<EventSource> watchTermination(std::function<void(int)>) override { return nullptr; }

    // Only administrators may write below HKEY_LOCAL_MACHINE; an ordinary
    // user's program starts with the user's session instead.
    bool writeAutostart(const std::string &appFilePath) override
    {
        const std::wstring value = windowsRunValue(appFilePath);
        return setRunValue(HKEY_LOCAL_MACHINE, value) || setRunValue(HKEY_CURRENT_USER, value);
    }

    void resetCursorScheme() override
    {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, cursorsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                nullptr, &key, nullptr)
            == ERROR_SUCCESS) {
            for (const CursorEntry &cursor : standardCursors)
                setString(key, cursor.name, cursor.file, REG_EXPAND_SZ);
            RegCloseKey(key);
        }
        // Makes Windows reload the pointers now rather than at the next logon.
        SystemParametersInfoW(SPI_SETCURSORS, 0, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    }
};

} // namespace

std::wstring windowsRunValue(const std::string &appFilePath)
{
    return windowsPath(appFilePath) + L" -bg";
}

std::unique_ptr<Platform> createPlatform()
{
    return std::make_unique<WindowsPlatform>();
}

// Local sockets are named pipes of the session on Windows, out of other
// users' reach already.
std::string instanceSocketName(const std::string &executableFileName)
{
    return executableFileName;
}

} // namespace platform
