// The Windows services against real processes and the real registry, under
// wine or on Windows. The stand-in effect program "Dotrix.exe" lies beside
// this test. Ends with the line "N passed, N failed".
#include "platform/platform.h"
#include "platform/platform_windows.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

int passed = 0, failed = 0;
const char *group = "";

void check(bool ok, const char *what)
{
    (ok ? passed : failed)++;
    if (!ok)
        std::printf("FAIL: %s: %s\n", group, what);
}

// Processes come and go at their own pace.
bool waitFor(const std::function<bool()> &condition)
{
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!condition() && GetTickCount64() < deadline)
        Sleep(20);
    return condition();
}

std::wstring testDir()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], DWORD(path.size())));
    return path.substr(0, path.rfind(L'\\'));
}

// A path as Qt reports it: UTF-8 with forward slashes.
std::string qtPath(const std::wstring &windowsPath)
{
    std::string path(std::size_t(windowsPath.size() * 3), '\0');
    path.resize(std::size_t(WideCharToMultiByte(CP_UTF8, 0, windowsPath.data(), int(windowsPath.size()),
        &path[0], int(path.size()), nullptr, nullptr)));
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t cursorsKey[] = L"Control Panel\\Cursors";

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

void startFindAndKill(platform::Platform &system, const std::wstring &folder)
{
    check(system.killCommand("Dotrix.exe") == "taskkill /im Dotrix.exe /f", "kill command text");
    check(system.startProgram(qtPath(folder), "Dotrix.exe"), "start reports success");
    check(waitFor([&] { return system.findProcess("Dotrix.exe"); }), "found by its name once started");
    for (const char *other : { "dotrix.exe", "Dotrix", "Dotrix.ex", "otrix.exe" })
        check(!system.findProcess(other), other);
    // Run directly; the program runs it through QProcess::execute.
    check(_wsystem(platform::widen(system.killCommand("Dotrix.exe") + " >NUL").c_str()) == 0,
        "taskkill ends with 0");
    check(waitFor([&] { return !system.findProcess("Dotrix.exe"); }), "gone after taskkill");
    check(
        !system.startProgram(qtPath(folder) + "/missing", "Dotrix.exe"), "a missing program is not started");
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

void cursorScheme(platform::Platform &system)
{
    group = "cursor scheme";
    // A user's own scheme: a custom arrow, and a text cursor that is not ours.
    const wchar_t arrow[] = L"C:\\Cursors\\huge_arrow.cur", beam[] = L"C:\\Cursors\\huge_beam.cur";
    RegSetKeyValueW(HKEY_CURRENT_USER, cursorsKey, L"Arrow", REG_SZ, arrow, sizeof arrow);
    RegSetKeyValueW(HKEY_CURRENT_USER, cursorsKey, L"IBeam", REG_SZ, beam, sizeof beam);
    system.resetCursorScheme();

    // Every role of the standard scheme is back, the user's arrow included.
    for (const platform::CursorEntry &cursor : platform::standardCursors)
        check(readString(HKEY_CURRENT_USER, cursorsKey, cursor.name) == cursor.file,
            qtPath(cursor.name).c_str());
    check(readString(HKEY_CURRENT_USER, cursorsKey, L"IBeam") == beam, "other roles untouched");
}

} // namespace

int main()
{
    const std::unique_ptr<platform::Platform> system = platform::createPlatform();
    group = "start, find, kill";
    startFindAndKill(*system, testDir());
    // "测试": outside Latin-1 and every Western code page.
    group = "the same from a folder named in another script";
    const std::wstring folder = testDir() + L"\\\u6d4b\u8bd5 folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    check(CopyFileW((testDir() + L"\\Dotrix.exe").c_str(), (folder + L"\\Dotrix.exe").c_str(), FALSE),
        "stand-in copied");
    startFindAndKill(*system, folder);
    autostart(*system);
    cursorScheme(*system);
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
