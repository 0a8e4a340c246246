#include "udev_monitor.h"

#include "hid_interface_path.h"

#include <easylogging++.h>
#include <libudev.h>

#include <QSocketNotifier>

#include <cstring>
#include <unistd.h>

namespace {

// Without a running udev daemon libudev quietly hands out a monitor that never hears
// anything; this file exists exactly while the daemon runs.
constexpr const char* kUdevControl = "/run/udev/control";

}  // namespace

std::unique_ptr<UdevMonitor> UdevMonitor::create(DeviceChangeHandler handler)
{
    if (access(kUdevControl, F_OK) != 0)
        return nullptr;
    udev* context = udev_new();
    if (context == nullptr)
        return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevMonitor>(new UdevMonitor(context, monitor, std::move(handler)));
}

UdevMonitor::UdevMonitor(udev* context, udev_monitor* monitor, DeviceChangeHandler handler)
    : context(context), monitor(monitor), handler(std::move(handler)),
      notifier(std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor), QSocketNotifier::Read))
{
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] { receive(); });
}

UdevMonitor::~UdevMonitor()
{
    notifier.reset();
    udev_monitor_unref(monitor);
    udev_unref(context);
}

void UdevMonitor::receive()
{
    udev_device* device = udev_monitor_receive_device(monitor);
    if (device == nullptr)
        return;
    const char* action = udev_device_get_action(device);
    const char* devpath = udev_device_get_devpath(device);
    if (action != nullptr && devpath != nullptr) {
        const bool added = std::strcmp(action, "add") == 0;
        const bool removed = std::strcmp(action, "remove") == 0;
        const std::optional<std::string> path = hid_interface_path_from_devpath(devpath);
        if ((added || removed) && path)
            handler(added ? DeviceChange::Arrival : DeviceChange::Removal, QString::fromStdString(*path));
    }
    udev_device_unref(device);
}
