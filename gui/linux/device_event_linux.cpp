#include "device_event.h"

#include "enumeration_poller.h"
#include "udev_monitor.h"

#include <easylogging++.h>

namespace {

constexpr int kPollIntervalMs = 2000;

}  // namespace

// Linux needs no window for its notifications; the window only stands for "the program has
// a user interface to refresh".
void DeviceEvent::register_event(QWindow*)
{
    const DeviceChangeHandler handler = [this](DeviceChange change, const QString& path) {
        device_changed(change, path);
    };
    source = UdevMonitor::create(handler);
    if (source)
        return;
    LOG(ERROR) << "register device notification error";
    source = std::make_unique<EnumerationPoller>(handler, kPollIntervalMs);
}

// Device notifications arrive through udev, not through the window system's events.
bool DeviceEvent::nativeEventFilter(const QByteArray&, void*, long*)
{
    return false;
}
