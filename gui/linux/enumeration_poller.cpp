#include "enumeration_poller.h"

#include "hid.h"
#include "hid_access.h"
#include "hid_interface_path.h"

#include <QString>

#include <algorithm>

EnumerationPoller::EnumerationPoller(DeviceChangeHandler handler, int interval_ms)
    : handler(std::move(handler)), last_paths(current_paths())
{
    connect(&timer, &QTimer::timeout, this, [this] { look(); });
    timer.start(interval_ms);
}

std::set<std::string> EnumerationPoller::current_paths() const
{
    std::set<std::string> paths;
    hidaccess::hid_device_info* devices = hidaccess::hid_enumerate(kOrvandelVendorId, 0);
    for (const hidaccess::hid_device_info* device = devices; device != nullptr; device = device->next) {
        const std::string node = device->path.substr(device->path.find_last_of('/') + 1);
        paths.insert(hid_interface_path(device->vendor_id, device->product_id, node));
    }
    hidaccess::hid_free_enumeration(devices);
    return paths;
}

void EnumerationPoller::look()
{
    std::set<std::string> paths = current_paths();
    std::vector<std::string> gone;
    std::set_difference(last_paths.begin(), last_paths.end(), paths.begin(), paths.end(), std::back_inserter(gone));
    std::vector<std::string> arrived;
    std::set_difference(paths.begin(), paths.end(), last_paths.begin(), last_paths.end(),
                        std::back_inserter(arrived));
    // Taken over before reporting: a report starts a rescan, which may look again.
    last_paths = std::move(paths);
    for (const std::string& path : gone)
        handler(DeviceChange::Removal, QString::fromStdString(path));
    for (const std::string& path : arrived)
        handler(DeviceChange::Arrival, QString::fromStdString(path));
}
