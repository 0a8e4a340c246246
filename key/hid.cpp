#include "hid.h"

#include <easylogging++.h>

#include <ios>

void HID::find_device(std::uint16_t vendor_id, std::vector<std::shared_ptr<U2FUsbKey>>& u2f_keys)
{
    hidaccess::hid_device_info* devices = hidaccess::hid_enumerate(0, 0);
    for (const hidaccess::hid_device_info* device = devices; device != nullptr; device = device->next) {
        LOG(INFO) << "Device Found\n"
                  << "vendor id: " << std::hex << device->vendor_id << "   product id: " << device->product_id
                  << std::dec << "\npath: " << device->path;
        if (device->vendor_id != vendor_id)
            continue;
        hidaccess::hid_device* handle = hidaccess::hid_open_path(device->path.c_str());
        if (handle == nullptr) {
            LOG(INFO) << "Failed to open Orvandel handle";
            continue;
        }
        LOG(INFO) << "Opening Orvandel handle";
        u2f_keys.push_back(std::make_shared<U2FUsbKey>(handle));
    }
    hidaccess::hid_free_enumeration(devices);
}
