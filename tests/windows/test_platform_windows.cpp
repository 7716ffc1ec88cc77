// The Windows services against real processes and the real registry, under
// wine or on Windows. The stand-in effect program "Dotrix.exe" lies beside
// this test. Ends with the line "N passed, N failed".
#include "platform/platform.h"
#include "platform/platform_windows.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

int passed = 0;
int failed = 0;
const char *group = "";

void check(bool ok, const std::string &what)
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s: %s\n", group, what.c_str());
    }
}

// Polls until the condition holds; processes come and go at their own pace.
bool waitFor(const std::function<bool()> &condition)
{
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}

std::string narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// A path as Qt reports it: UTF-8 with forward slashes.
std::string qtPath(const std::wstring &windowsPath)
{
    std::string path = narrow(windowsPath);
    for (char &c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

std::wstring testDir()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path.substr(0, path.rfind(L'\\'));
}

// The full image paths of the running processes of that executable name.
std::vector<std::wstring> imagesOf(const wchar_t *exeName)
{
    std::vector<std::wstring> images;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return images;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (std::wcscmp(entry.szExeFile, exeName) == 0) {
            const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
            wchar_t image[MAX_PATH * 4] = {};
            DWORD size = MAX_PATH * 4;
            if (process && QueryFullProcessImageNameW(process, 0, image, &size))
                images.emplace_back(image, size);
            if (process)
                CloseHandle(process);
        }
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snapshot);
    return images;
}

// Runs a command line as the program does and returns its exit code.
DWORD run(const std::string &command)
{
    std::wstring line = platform::widen(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(
            nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info))
        return static_cast<DWORD>(-1);
    DWORD code = static_cast<DWORD>(-2);
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t cursorsKey[] = L"Control Panel\\Cursors";

// A registry string as stored, or false when the value does not exist.
bool readString(HKEY root, const wchar_t *subKey, const wchar_t *name, std::wstring &data, DWORD &type)
{
    HKEY key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const bool ok = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size)
        == ERROR_SUCCESS;
    RegCloseKey(key);
    data = buffer;
    return ok;
}

void writeString(HKEY root, const wchar_t *subKey, const wchar_t *name, const std::wstring &data)
{
    HKEY key;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void deleteValue(HKEY root, const wchar_t *subKey, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

// A handle to a key that no longer exists: whatever is created below it is
// refused, as a write below HKEY_LOCAL_MACHINE is refused to an ordinary user.
HKEY refusingKey()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuorvantRefusing", 0, nullptr, REG_OPTION_VOLATILE,
        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuorvantRefusing");
    return key;
}

void startFindAndKill(platform::Platform &system)
{
    group = "start, find, kill";
    check(system.killCommand("Dotrix.exe") == "taskkill /im Dotrix.exe /f", "kill command text");
    check(!system.findProcess("Dotrix.exe"), "nothing runs before the start");

    check(system.startProgram(qtPath(testDir()), "Dotrix.exe"), "start reports success");
    check(waitFor([&] { return system.findProcess("Dotrix.exe"); }), "found by its name once started");
    check(!system.findProcess("dotrix.exe"), "not found under another case");
    check(!system.findProcess("Dotrix"), "not found without its extension");
    check(!system.findProcess("Dotrix.ex"), "not found by a prefix");
    check(!system.findProcess("otrix.exe"), "not found by a suffix");

    check(run(system.killCommand("Dotrix.exe")) == 0, "taskkill ends with 0");
    check(waitFor([&] { return !system.findProcess("Dotrix.exe"); }), "gone after taskkill");

    check(!system.startProgram(qtPath(testDir()) + "/missing", "Dotrix.exe"),
        "a missing program is not started");
}

void startFromAnyFolder(platform::Platform &system)
{
    group = "start from a folder named in another script";
    // "测试": outside Latin-1 and every Western code page.
    const std::wstring folder = testDir() + L"\\\u6d4b\u8bd5 folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    check(CopyFileW((testDir() + L"\\Dotrix.exe").c_str(), (folder + L"\\Dotrix.exe").c_str(), FALSE),
        "stand-in copied");

    check(system.startProgram(qtPath(folder), "Dotrix.exe"), "start reports success");
    check(waitFor([&] { return system.findProcess("Dotrix.exe"); }), "found once started");
    const std::vector<std::wstring> images = imagesOf(L"Dotrix.exe");
    const std::wstring wanted = L"\\\u6d4b\u8bd5 folder\\Dotrix.exe";
    check(images.size() == 1 && images[0].size() > wanted.size()
            && images[0].compare(images[0].size() - wanted.size(), wanted.size(), wanted) == 0,
        "the copy in that folder runs");

    run(system.killCommand("Dotrix.exe"));
    check(waitFor([&] { return !system.findProcess("Dotrix.exe"); }), "gone after taskkill");
}

void runValue()
{
    group = "autostart value";
    check(platform::windowsRunValue("C:/Program Files/Quorvant/quorvant.exe")
            == L"C:\\Program Files\\Quorvant\\quorvant.exe -bg",
        "backslashes, then \" -bg\"");
    check(
        platform::windowsRunValue(u8"D:/\u6d4b\u8bd5/quorvant.exe") == L"D:\\\u6d4b\u8bd5\\quorvant.exe -bg",
        "other scripts kept");
    check(
        platform::windowsRunValue("//server/share/q.exe") == L"\\\\server\\share\\q.exe -bg", "network path");
}

void autostart(platform::Platform &system)
{
    group = "autostart entry";
    deleteValue(HKEY_LOCAL_MACHINE, runKey, L"Quorvant");
    deleteValue(HKEY_CURRENT_USER, runKey, L"Quorvant");
    std::wstring data;
    DWORD type = 0;

    const std::string machinePath = qtPath(testDir()) + "/quorvant.exe";
    check(system.writeAutostart(machinePath), "written for the machine");
    check(readString(HKEY_LOCAL_MACHINE, runKey, L"Quorvant", data, type)
            && data == platform::windowsRunValue(machinePath) && type == REG_SZ,
        "machine value holds the path");
    check(data.find(L'/') == std::wstring::npos && data.size() > 4
            && data.compare(data.size() - 4, 4, L" -bg") == 0,
        "no forward slash, ends in \" -bg\"");
    check(!readString(HKEY_CURRENT_USER, runKey, L"Quorvant", data, type), "user value not written as well");

    const HKEY refusing = refusingKey();
    check(refusing != nullptr, "refusing key made");
    const std::string userPath = u8"C:/Users/\u6d4b\u8bd5/Quorvant/quorvant.exe";
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, refusing);
    const bool userWritten = system.writeAutostart(userPath);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    check(userWritten, "written for the user when the machine refuses");
    check(readString(HKEY_CURRENT_USER, runKey, L"Quorvant", data, type)
            && data == L"C:\\Users\\\u6d4b\u8bd5\\Quorvant\\quorvant.exe -bg" && type == REG_SZ,
        "user value holds the path");
    check(readString(HKEY_LOCAL_MACHINE, runKey, L"Quorvant", data, type)
            && data == platform::windowsRunValue(machinePath),
        "machine value untouched");

    RegOverridePredefKey(HKEY_LOCAL_MACHINE, refusing);
    RegOverridePredefKey(HKEY_CURRENT_USER, refusing);
    const bool nowhereWritten = system.writeAutostart("C:/elsewhere/quorvant.exe");
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    check(!nowhereWritten, "failure reported when both refuse");
    RegCloseKey(refusing);

    deleteValue(HKEY_LOCAL_MACHINE, runKey, L"Quorvant");
    deleteValue(HKEY_CURRENT_USER, runKey, L"Quorvant");
}

void cursorScheme(platform::Platform &system)
{
    group = "cursor scheme";
    const platform::CursorEntry expected[] = {
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
    };
    bool sameTable = platform::standardCursors.size() == std::size(expected);
    for (std::size_t i = 0; sameTable && i < std::size(expected); ++i) {
        sameTable = std::wcscmp(platform::standardCursors[i].name, expected[i].name) == 0
            && std::wcscmp(platform::standardCursors[i].file, expected[i].file) == 0;
    }
    check(sameTable, "the thirteen roles and files");

    // A user's own scheme: a custom arrow, and a text cursor that is not ours.
    writeString(HKEY_CURRENT_USER, cursorsKey, L"Arrow", L"C:\\Cursors\\huge_arrow.cur");
    writeString(HKEY_CURRENT_USER, cursorsKey, L"IBeam", L"C:\\Cursors\\huge_beam.cur");
    system.resetCursorScheme();

    for (const platform::CursorEntry &cursor : expected) {
        std::wstring data;
        DWORD type = 0;
        const bool found = readString(HKEY_CURRENT_USER, cursorsKey, cursor.name, data, type);
        check(found && data == cursor.file && (type == REG_EXPAND_SZ || type == REG_SZ),
            "value " + narrow(cursor.name) + " reads " + narrow(cursor.file) + " (has " + narrow(data) + ")");
    }
    std::wstring beam;
    DWORD type = 0;
    check(readString(HKEY_CURRENT_USER, cursorsKey, L"IBeam", beam, type)
            && beam == L"C:\\Cursors\\huge_beam.cur",
        "other roles untouched");
}

} // namespace

int main()
{
    const std::unique_ptr<platform::Platform> system = platform::createPlatform();
    startFindAndKill(*system);
    startFromAnyFolder(*system);
    runValue();
    autostart(*system);
    cursorScheme(*system);
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
