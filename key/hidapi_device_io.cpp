#include "hidapi_device_io.h"

#include <hidapi/hidapi.h>

namespace hidaccess {

namespace {

std::wstring wide_or_empty(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
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
        return ::hid_read_timeout(device, data, length, timeout_ms);
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
    ::hid_device* device = ::hid_open_path(path.c_str());
    if (device == nullptr)
        return nullptr;
    return std::make_unique<HidapiDevice>(device);
}

}  // namespace hidaccess
