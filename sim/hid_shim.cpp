// hidapi's C interface over the simulated receiver, so that a program built
// against hidapi finds the pen's receiver where a real one would be.
#include "port.h"
#include "receiver.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

struct hid_device_
{
    int handle = -1;
    bool nonblocking = false;
    std::wstring error;
    hid_device_info *info = nullptr;
};

namespace {

const wchar_t kManufacturer[] = L"Quorvant";
const wchar_t kProduct[] = L"Quorvant Presenter Receiver";
const wchar_t kSerial[] = L"QV0001";
const char kPathPrefix[] = "quorvant-sim:if";

thread_local std::wstring globalError;

void setError(hid_device *dev, const wchar_t *message)
{
    (dev ? dev->error : globalError) = message;
}

wchar_t *copyText(const wchar_t *text)
{
    const std::size_t length = std::wcslen(text) + 1;
    auto *copy = static_cast<wchar_t *>(std::malloc(length * sizeof(wchar_t)));
    if (copy)
        std::wmemcpy(copy, text, length);
    return copy;
}

hid_device_info *describe(int interfaceNumber)
{
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    if (!info)
        return nullptr;
    const std::string path = kPathPrefix + std::to_string(interfaceNumber);
    info->path = strdup(path.c_str());
    info->vendor_id = sim::kVendorId;
    info->product_id = sim::kProductId;
    info->serial_number = copyText(kSerial);
    info->release_number = 0x0100;
    info->manufacturer_string = copyText(kManufacturer);
    info->product_string = copyText(kProduct);
    // Keyboard, mouse and media keys on the first three; the pen's own
    // reports on the vendor page of the last.
    static const unsigned short usages[sim::kInterfaceCount][2]
        = { { 0x01, 0x06 }, { 0x01, 0x02 }, { 0x0C, 0x01 }, { 0xFF00, 0x01 } };
    if (interfaceNumber >= 0 && interfaceNumber < sim::kInterfaceCount) {
        info->usage_page = usages[interfaceNumber][0];
        info->usage = usages[interfaceNumber][1];
    }
    info->interface_number = interfaceNumber;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

// The interface number in a path of ours, or -1.
int interfaceOfPath(const char *path)
{
    if (!path || std::strncmp(path, kPathPrefix, sizeof kPathPrefix - 1) != 0)
        return -1;
    const char *digits = path + sizeof kPathPrefix - 1;
    char *end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (end == digits || *end != '\0' || n < 0 || n >= sim::kInterfaceCount)
        return -1;
    return static_cast<int>(n);
}

int copyString(hid_device *dev, wchar_t *string, std::size_t maxlen)
{
    if (string && maxlen > 0)
        string[0] = L'\0';
    setError(dev, L"String not available");
    return -1;
}

} // namespace

// The library that is preloaded hides everything else it holds.
#pragma GCC visibility push(default)
extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(
    unsigned short vendor_id, unsigned short product_id)
{
    if ((vendor_id && vendor_id != sim::kVendorId) || (product_id && product_id != sim::kProductId))
        return nullptr;
    hid_device_info *first = nullptr, **tail = &first;
    for (int number : sim::port().interfaces()) {
        hid_device_info *info = describe(number);
        if (!info)
            break;
        *tail = info;
        tail = &info->next;
    }
    return first;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    const int number = interfaceOfPath(path);
    if (number < 0) {
        setError(nullptr, L"No such device");
        return nullptr;
    }
    const int handle = sim::port().open(number);
    if (handle <= 0) {
        // As open(2) of a device node tells it, for whoever asks errno next.
        const int error = handle == sim::kDenied ? EACCES : EBUSY;
        setError(nullptr, handle == sim::kDenied ? L"Permission denied" : L"Failed to open the device");
        errno = error;
        return nullptr;
    }
    globalError.clear();
    auto *dev = new hid_device_;
    dev->handle = handle;
    dev->info = describe(number);
    return dev;
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open(
    unsigned short vendor_id, unsigned short product_id, const wchar_t *serial_number)
{
    // Like hidapi: the first matching entry of the enumeration, whatever its interface.
    hid_device_info *devs = hid_enumerate(vendor_id, product_id);
    std::string path;
    for (hid_device_info *d = devs; d && path.empty(); d = d->next) {
        if (!serial_number || std::wcscmp(serial_number, d->serial_number) == 0)
            path = d->path;
    }
    hid_free_enumeration(devs);
    if (path.empty()) {
        setError(nullptr, L"No such device");
        return nullptr;
    }
    return hid_open_path(path.c_str());
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    const int n = sim::port().write(dev->handle, data, length);
    if (n < 0)
        setError(dev, L"Write failed");
    return n;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(
    hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    if (!dev)
        return -1;
    const int n = sim::port().read(dev->handle, data, length, milliseconds);
    if (n < 0)
        setError(dev, L"Read failed: the device is gone");
    return n;
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    if (!dev)
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *, size_t)
{
    setError(dev, L"The receiver has no feature reports");
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *dev, unsigned char *, size_t)
{
    setError(dev, L"The receiver has no feature reports");
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *dev, unsigned char *, size_t)
{
    setError(dev, L"Input reports are only delivered by reading");
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (!dev)
        return;
    sim::port().close(dev->handle);
    hid_free_enumeration(dev->info);
    delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *dev, int, wchar_t *string, size_t maxlen)
{
    return copyString(dev, string, maxlen);
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_get_device_info(hid_device *dev)
{
    return dev ? dev->info : nullptr;
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    const std::wstring &error = dev ? dev->error : globalError;
    return error.empty() ? L"Success" : error.c_str();
}

HID_API_EXPORT const struct hid_api_version *HID_API_CALL hid_version(void)
{
    static const hid_api_version version
        = { HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH };
    return &version;
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"
#pragma GCC visibility pop
