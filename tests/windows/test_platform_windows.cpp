// The Windows services against real processes and the real registry, under
// wine or on Windows. The stand-in effect program "Dotrix.exe" lies beside
// this test. Ends with the line "N passed, N failed".
#include "platform/platform.h"
#include "platform/platform_windows.h"

#include <windows.h>

#include <dbt.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

int passed = 0, failed = 0;
const char *group = "";

void check(bool ok, const char *what)
{
    (ok ? passed : failed)++;
    if (!ok)
        std::printf("FAIL: %s: %s\n", group, what);
}

// Waits with this thread's message loop running, as Qt's would: device
// notices only come through it, and processes come and go at their own pace.
bool waitFor(const std::function<bool()> &condition)
{
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!condition() && GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return condition();
}

std::wstring testDir()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], DWORD(path.size())));
    return path.substr(0, path.rfind(L'\\'));
}

std::string utf8(const std::wstring &wide)
{
    std::string text(std::size_t(wide.size() * 3), '\0');
    text.resize(std::size_t(WideCharToMultiByte(
        CP_UTF8, 0, wide.data(), int(wide.size()), &text[0], int(text.size()), nullptr, nullptr)));
    return text;
}

// A path as Qt reports it: UTF-8 with forward slashes.
std::string qtPath(const std::wstring &windowsPath)
{
    std::string path = utf8(windowsPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A registry string (REG_SZ or REG_EXPAND_SZ) as stored; empty when missing.
std::wstring readString(HKEY root, const wchar_t *subKey, const wchar_t *name)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(
            root, subKey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size)
        != ERROR_SUCCESS)
        return {};
    return buffer;
}

// Counted apart from the platform's own search.
int processesNamed(const wchar_t *file)
{
    int count = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += std::wcscmp(entry.szExeFile, file) == 0;
    CloseHandle(snapshot);
    return count;
}

// Started detached, found by its exact name and folder alone, and gone when
// the stop returns. A program of the same name in another folder is another
// program: neither found nor stopped with this one.
void startFindAndStop(platform::Platform &system, const std::wstring &folder, const std::wstring &elsewhere)
{
    const std::string dir = qtPath(folder), other = qtPath(elsewhere);
    check(system.startProgram(other, "Dotrix"), "the other folder's started");
    check(waitFor([] { return processesNamed(L"Dotrix.exe") == 1; }), "it runs");
    check(!system.isRunning(dir, "Dotrix") && system.stopProgram(dir, "Dotrix") == 1,
        "stop ends with 1 when none of this folder runs");
    check(system.startProgram(dir, "Dotrix") && system.startProgram(dir, "Dotrix"),
        "two starts report success");
    check(waitFor([] { return processesNamed(L"Dotrix.exe") == 3; }), "both run beside the other");
    for (const char *name : { "dotrix", "Dotri", "Dotrix.exe" })
        check(!system.isRunning(dir, name), name);
    // One stop ends them all, and they are gone when it returns.
    check(system.isRunning(dir, "Dotrix") && system.stopProgram(dir, "Dotrix") == 0,
        "stop ends with 0 while it runs");
    check(processesNamed(L"Dotrix.exe") == 1 && !system.isRunning(dir, "Dotrix"),
        "every one gone after one stop");
    check(system.isRunning(other, "Dotrix") && system.stopProgram(other, "Dotrix") == 0
            && processesNamed(L"Dotrix.exe") == 0,
        "the other still running, then stopped");
    check(!system.startProgram(dir + "/missing", "Dotrix"), "a missing program is not started");
}

// A notice as the system sends it: header, class, then the interface path.
std::vector<unsigned char> interfaceNotice(DWORD type, const GUID &classGuid, const std::wstring &path)
{
    const std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    std::vector<unsigned char> bytes(nameOffset + (path.size() + 1) * sizeof(wchar_t));
    auto *notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W *>(bytes.data());
    notice->dbcc_size = DWORD(bytes.size());
    notice->dbcc_devicetype = type;
    notice->dbcc_classguid = classGuid;
    std::copy(path.begin(), path.end(), notice->dbcc_name);
    return bytes;
}

struct Notice
{
    HWND window;
    WPARAM kind;
    const void *data;
};

// The system's notices come from other threads and wait for the receiving
// thread's message loop.
DWORD WINAPI sendNotice(void *notice)
{
    const auto *n = static_cast<const Notice *>(notice);
    SendMessageW(n->window, WM_DEVICECHANGE, n->kind, reinterpret_cast<LPARAM>(n->data));
    return 0;
}

void deviceNotices(platform::Platform &system)
{
    group = "device notices";
    std::vector<platform::DeviceEvent> heard;
    std::unique_ptr<platform::DeviceMonitor> monitor
        = system.watchDevices([&](const platform::DeviceEvent &event) { heard.push_back(event); });
    check(monitor != nullptr, "registered for HID interfaces");
    if (!monitor)
        return;
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, platform::deviceWindowClass, nullptr);
    check(window != nullptr, "a message-only window listens");

    const GUID hid = { 0x4d1e55b2, 0xf16f, 0x11cf, { 0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30 } };
    const GUID usbDevice = { 0xa5dcbf10, 0x6530, 0x11d2, { 0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed } };
    const std::wstring receiver
        = L"\\\\?\\HID#VID_26E3&PID_AF01&MI_03#7&2a8f1c3b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    // Only HID interfaces are heard, their paths as UTF-8 whatever the script.
    const struct
    {
        const char *name;
        WPARAM kind;
        DWORD type;
        GUID classGuid;
        std::wstring path;
        std::size_t heard;
    } rows[] = {
        { "a volume arrives", DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME, hid, receiver, 0 },
        { "a USB interface arrives", DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, usbDevice, receiver, 0 },
        { "a HID interface arrives", DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, hid, receiver, 1 },
        { "a HID interface named outside ASCII goes", DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE,
            hid, L"\\\\?\\HID#{\u6d4b\u8bd5}", 1 },
    };
    for (const auto &row : rows) {
        heard.clear();
        const std::vector<unsigned char> data = interfaceNotice(row.type, row.classGuid, row.path);
        const Notice notice = { window, row.kind, data.data() };
        const HANDLE sender = CreateThread(nullptr, 0, sendNotice, const_cast<Notice *>(&notice), 0, nullptr);
        check(waitFor([&] { return WaitForSingleObject(sender, 0) == WAIT_OBJECT_0; }), row.name);
        CloseHandle(sender);
        const auto kind
            = row.kind == DBT_DEVICEARRIVAL ? platform::DeviceEvent::Added : platform::DeviceEvent::Removed;
        check(heard.size() == row.heard
                && (!row.heard || (heard[0].kind == kind && heard[0].path == utf8(row.path))),
            row.name);
    }

    monitor.reset();
    check(!IsWindow(window), "the window goes with the monitor");
}

void openDenied(platform::Platform &system, const std::wstring &folder)
{
    group = "open denied";
    const std::wstring held = folder + L"\\held";
    const HANDLE holder
        = CreateFileW(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    check(holder != INVALID_HANDLE_VALUE, "a node held exclusively");
    const struct
    {
        const char *name;
        std::wstring path;
        bool denied;
    } rows[] = {
        { "nothing answers to the path",
            L"\\\\?\\HID#VID_26E3&PID_AF01&MI_03#none#{4d1e55b2-f16f-11cf-88cb-001111000030}", false },
        { "another program holds it", held, false },
        // A folder cannot be opened as a file: the system refuses it access.
        { "the system refuses reading and writing", folder, true },
    };
    for (const auto &row : rows) {
        // The wrong error left behind, as hidapi's clean-up leaves one.
        SetLastError(row.denied ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
        check(system.openDenied(utf8(row.path)) == row.denied, row.name);
    }
    CloseHandle(holder);
    DeleteFileW(held.c_str());
}

void autostart(platform::Platform &system)
{
    group = "autostart";
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, runKey, L"Quorvant");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey, L"Quorvant");
    check(system.writeAutostart("C:/Program Files/Quorvant/quorvant.exe"), "written for the machine");
    check(readString(HKEY_LOCAL_MACHINE, runKey, L"Quorvant")
            == L"C:\\Program Files\\Quorvant\\quorvant.exe -bg",
        "machine value: backslashes, then \" -bg\"");
    check(readString(HKEY_CURRENT_USER, runKey, L"Quorvant").empty(), "user value not written as well");

    // A handle to a deleted key refuses whatever is created below it, as
    // HKEY_LOCAL_MACHINE refuses an ordinary user.
    HKEY refusing = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuorvantRefusing", 0, nullptr, REG_OPTION_VOLATILE,
        KEY_ALL_ACCESS, nullptr, &refusing, nullptr);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuorvantRefusing");
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, refusing);
    check(system.writeAutostart(u8"C:/Users/\u6d4b\u8bd5/quorvant.exe"), "written for the user when refused");
    check(readString(HKEY_CURRENT_USER, runKey, L"Quorvant") == L"C:\\Users\\\u6d4b\u8bd5\\quorvant.exe -bg",
        "user value holds the path in any script");
    RegOverridePredefKey(HKEY_CURRENT_USER, refusing);
    check(!system.writeAutostart("C:/elsewhere/quorvant.exe"), "failure reported when both refuse");
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(refusing);
}

} // namespace

int main()
{
    const std::unique_ptr<platform::Platform> system = platform::createPlatform();
    group = "program file";
    check(system->programFile("Dotrix") == "Dotrix.exe", "the base name and \".exe\"");
    group = "start, find, stop";
    // "测试": outside Latin-1 and every Western code page.
    const std::wstring folder = testDir() + L"\\\u6d4b\u8bd5 folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    check(CopyFileW((testDir() + L"\\Dotrix.exe").c_str(), (folder + L"\\Dotrix.exe").c_str(), FALSE),
        "stand-in copied");
    startFindAndStop(*system, testDir(), folder);
    deviceNotices(*system);
    openDenied(*system, folder);
    autostart(*system);
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
