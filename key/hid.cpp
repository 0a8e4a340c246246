#include "hid.h"

#include <easylogging++.h>

#include <ios>

CollectionChoice::CollectionChoice(const hidaccess::hid_device_info* devices, std::uint16_t vendor_id)
    : vendor_id(vendor_id)
{
    for (const hidaccess::hid_device_info* device = devices; device != nullptr; device = device->next)
        fido = fido || (device->vendor_id == vendor_id && device->usage_page == kFidoUsagePage);
}

bool CollectionChoice::tries(const hidaccess::hid_device_info& info) const
{
    return info.vendor_id == vendor_id && (!fido || info.usage_page == kFidoUsagePage);
}

void HID::find_device(std::uint16_t vendor_id, std::vector<std::shared_ptr<U2FUsbKey>>& u2f_keys)
{
    hidaccess::hid_device_info* devices = hidaccess::hid_enumerate(0, 0);
    const CollectionChoice choice(devices, vendor_id);
    for (const hidaccess::hid_device_info* device = devices; device != nullptr; device = device->next) {
        LOG(INFO) << "Device Found\n"
                  << "vendor id: " << std::hex << device->vendor_id << "   product id: " << device->product_id
                  << std::dec << "\npath: " << device->path;
        if (!choice.tries(*device))
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
