// Windows services: effect programs are found in a process snapshot and known
// by their full image path and session, started through the shell and ended
// with TerminateProcess on their handle; autostart and the pointer
// scheme live in the registry; HID devices are watched through device-interface
// notices to a window.
#include "platform/platform_windows.h"
#include "platform/platform.h"

#include <windows.h>

#include <dbt.h>
#include <initguid.h>
// After initguid.h, so that GUID_DEVINTERFACE_HID is defined here, not only declared.
#include <hidclass.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <vector>

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

const wchar_t deviceWindowClass[] = L"QuorvantDeviceNotices";

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

std::string narrow(const wchar_t *wide, std::size_t count)
{
    if (count == 0)
        return {};
    const int size = static_cast<int>(count);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, size, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

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

// Whether two paths name the same file as Windows compares them: without
// regard to case.
bool samePath(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The full path of a process's executable; empty when it cannot be had.
std::wstring imagePath(HANDLE process)
{
    std::wstring path(32768, L'\0');
    DWORD size = DWORD(path.size());
    if (!QueryFullProcessImageNameW(process, 0, &path[0], &size))
        return {};
    path.resize(size);
    return path;
}

DWORD sessionOf(DWORD processId)
{
    DWORD session = DWORD(-1);
    return ProcessIdToSessionId(processId, &session) ? session : DWORD(-1);
}

// Calls `visit` with a handle to each process of this session whose
// executable is the file at `path` (named `file`, compared case-sensitively
// first), until it returns false. The handle is closed after the visit; what
// is done through it reaches that very process, whatever became of its id.
template <typename Visit>
void forEachProcessOf(const std::wstring &path, const std::wstring &file, Visit visit)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    const DWORD session = sessionOf(GetCurrentProcessId());
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    bool more = true;
    for (BOOL listed = Process32FirstW(snapshot, &entry); listed && more;
         listed = Process32NextW(snapshot, &entry)) {
        entry.dwSize = sizeof entry;
        if (std::wcscmp(entry.szExeFile, file.c_str()) != 0 || sessionOf(entry.th32ProcessID) != session)
            continue;
        const HANDLE process = OpenProcess(
            PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        // Looked at through the handle: the id may have been taken by another
        // process since the snapshot.
        if (samePath(imagePath(process), path) && WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
            more = visit(process);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

// What a WM_DEVICECHANGE says of a HID interface; false when it is about
// anything else. Other notices (query remove, remove pending, node changes)
// either precede one of these two or carry no interface at all.
bool hidInterfaceEvent(WPARAM kind, LPARAM data, DeviceEvent &event)
{
    if (kind != DBT_DEVICEARRIVAL && kind != DBT_DEVICEREMOVECOMPLETE)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return false;
    const auto *notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header);
    constexpr std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (notice->dbcc_size < nameOffset || !IsEqualGUID(notice->dbcc_classguid, GUID_DEVINTERFACE_HID))
        return false;
    // The name ends at its terminator, and never past the size the sender gave.
    const std::size_t room = (notice->dbcc_size - nameOffset) / sizeof(wchar_t);
    event.kind = kind == DBT_DEVICEARRIVAL ? DeviceEvent::Added : DeviceEvent::Removed;
    // The system's spelling of the interface path: its case may differ from
    // what an enumeration reports, which is why the caller enumerates again.
    event.path = narrow(notice->dbcc_name, wcsnlen(notice->dbcc_name, room));
    return true;
}

// RegisterDeviceNotificationW rather than CM_Register_Notification: the latter
// calls back on a thread pool, whereas a window's notices come through the
// message loop of the thread that made it, which Qt's event loop pumps anyway.
// A message-only window, since nothing is shown and no broadcast is wanted:
// registered notices still reach it.
class WindowMonitor final : public DeviceMonitor
{
public:
    static std::unique_ptr<DeviceMonitor> create(DeviceCallback onEvent)
    {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = deviceWindowClass;
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return nullptr;

        std::unique_ptr<WindowMonitor> monitor(new WindowMonitor(std::move(onEvent)));
        monitor->window = CreateWindowExW(
            0, deviceWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        if (!monitor->window)
            return nullptr;
        SetWindowLongPtrW(monitor->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(monitor.get()));

        DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = GUID_DEVINTERFACE_HID;
        monitor->notices = RegisterDeviceNotificationW(monitor->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (!monitor->notices)
            return nullptr;
        return monitor;
    }

    ~WindowMonitor() override
    {
        if (notices)
            UnregisterDeviceNotification(notices);
        if (window)
            DestroyWindow(window);
    }

    int descriptor() const override { return -1; }

    void dispatch() override { }

private:
    explicit WindowMonitor(DeviceCallback onEvent)
        : onEvent(std::move(onEvent))
    {
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        const auto *monitor = reinterpret_cast<WindowMonitor *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_DEVICECHANGE || !monitor)
            return DefWindowProcW(window, message, wParam, lParam);
        DeviceEvent event;
        if (hidInterfaceEvent(wParam, lParam, event)) {
            // A copy: the callback may end the monitor, and the original with it.
            const DeviceCallback callback = monitor->onEvent;
            callback(event);
        }
        return TRUE;
    }

    HWND window = nullptr;
    HDEVNOTIFY notices = nullptr;
    DeviceCallback onEvent;
};

class WindowsPlatform final : public Platform
{
public:
    std::string programFile(const std::string &program) const override { return program + ".exe"; }

    std::wstring programPath(const std::string &appDir, const std::string &program) const
    {
        return windowsPath(appDir + "/" + programFile(program));
    }

    bool isRunning(const std::string &appDir, const std::string &program) override
    {
        bool found = false;
        forEachProcessOf(programPath(appDir, program), widen(programFile(program)), [&](HANDLE) {
            found = true;
            return false;
        });
        return found;
    }

    // The path goes to the shell in UTF-16: an application folder whose name
    // holds characters of another code page would not survive a narrow one.
    bool startProgram(const std::string &appDir, const std::string &program) override
    {
        const std::wstring path = programPath(appDir, program);
        const HINSTANCE result
            = ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }

    // What "taskkill /f" does, by handle, to the effect program alone.
    int stopProgram(const std::string &appDir, const std::string &program) override
    {
        int found = 0, stopped = 0;
        std::vector<HANDLE> going;
        forEachProcessOf(programPath(appDir, program), widen(programFile(program)), [&](HANDLE process) {
            ++found;
            HANDLE kept = nullptr;
            if (TerminateProcess(process, 1) != FALSE) {
                ++stopped;
                if (DuplicateHandle(
                        GetCurrentProcess(), process, GetCurrentProcess(), &kept, SYNCHRONIZE, FALSE, 0))
                    going.push_back(kept);
            }
            return true;
        });
        // Termination completes a moment later; it is waited for, briefly, so
        // that whoever asks next finds the program gone.
        const ULONGLONG deadline = GetTickCount64() + 50;
        for (const HANDLE process : going) {
            const ULONGLONG now = GetTickCount64();
            WaitForSingleObject(process, now < deadline ? DWORD(deadline - now) : 0);
            CloseHandle(process);
        }
        return found == 0 ? 1 : stopped > 0 ? 0 : 2;
    }

    std::unique_ptr<DeviceMonitor> watchDevices(DeviceCallback onEvent) override
    {
        return WindowMonitor::create(std::move(onEvent));
    }

    // hidapi's failed open leaves no telling error behind: it retries with no
    // access at all, and its clean-up (FormatMessageW, CloseHandle) overwrites
    // the thread's last error. So the path is opened again the way hidapi
    // first opens it, and that open's error is the answer. A sharing violation
    // is not a denial: the program that holds the device lets go of it without
    // the system announcing anything, so the caller must keep trying.
    bool openDenied(const std::string &path) override
    {
        const HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return false;
        }
        return GetLastError() == ERROR_ACCESS_DENIED;
    }

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
