#include "hidapi_device_io.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <chrono>

namespace hidaccess {

namespace {

constexpr unsigned short kFidoUsagePage = 0xF1D0;
constexpr unsigned short kGenericDesktopPage = 0x01;
constexpr unsigned short kMouseUsage = 0x02;
constexpr unsigned short kKeyboardUsage = 0x06;

std::wstring wide_or_empty(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

// hidraw lets us open every collection the udev rule allows, keyboards and mice included,
// where Windows keeps those for itself; a key on one would never get an answer. A node
// lists one record per top-level collection, so a FIDO record anywhere on it keeps it open.
bool kept_for_the_system(const std::string& path)
{
#ifdef __linux__
    bool keyboard_or_mouse = false;
    bool fido = false;
    ::hid_device_info* list = ::hid_enumerate(0, 0);
    for (const ::hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        if (entry->path == nullptr || path != entry->path)
            continue;
        fido = fido || entry->usage_page == kFidoUsagePage;
        keyboard_or_mouse = keyboard_or_mouse || (entry->usage_page == kGenericDesktopPage &&
                                                  (entry->usage == kKeyboardUsage || entry->usage == kMouseUsage));
    }
    ::hid_free_enumeration(list);
    return keyboard_or_mouse && !fido;
#else
    (void)path;
    return false;
#endif
}

class HidapiDevice : public RawDevice {
public:
    explicit HidapiDevice(::hid_device* device) : device(device) {}
    ~HidapiDevice() override { ::hid_close(device); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    int write(const std::uint8_t* report, std::size_t length) override
    {
        return ::hid_write(device, report, length);
    }

    int read(std::uint8_t* data, std::size_t length, int timeout_ms) override
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        int wait = timeout_ms;
        for (;;) {
            errno = 0;
            const int result = ::hid_read_timeout(device, data, length, wait);
            // hidraw's poll() interrupted by a signal says nothing about the device.
            if (result != -1 || errno != EINTR)
                return result;
            if (timeout_ms < 0)
                continue;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return 0;
            wait = static_cast<int>(left);
        }
    }

private:
    ::hid_device* device;
};

}  // namespace

std::vector<RawDeviceInfo> HidapiDeviceIo::enumerate()
{
    std::vector<RawDeviceInfo> devices;
    ::hid_device_info* list = ::hid_enumerate(0, 0);
    for (const ::hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        RawDeviceInfo info;
        info.path = entry->path != nullptr ? entry->path : "";
        info.vendor_id = entry->vendor_id;
        info.product_id = entry->product_id;
        info.serial_number = wide_or_empty(entry->serial_number);
        info.release_number = entry->release_number;
        info.manufacturer_string = wide_or_empty(entry->manufacturer_string);
        info.product_string = wide_or_empty(entry->product_string);
        info.usage_page = entry->usage_page;
        info.usage = entry->usage;
        info.interface_number = entry->interface_number;
        devices.push_back(std::move(info));
    }
    ::hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<RawDevice> HidapiDeviceIo::open(const std::string& path)
{
    if (kept_for_the_system(path))
        return nullptr;
    ::hid_device* device = ::hid_open_path(path.c_str());
    if (device == nullptr)
        return nullptr;
    return std::make_unique<HidapiDevice>(device);
}

}  // namespace hidaccess
