#pragma once

#include "udev_monitor.h"

#include <QObject>
#include <QTimer>

#include <set>
#include <string>

// The fallback when udev cannot be listened to: looks at the vendor's HID interfaces every
// interval and reports what appeared and what went away since the last look.
class EnumerationPoller : public QObject {
public:
    EnumerationPoller(DeviceChangeHandler handler, int interval_ms);

    // One look; the timer calls it, tests call it directly.
    void look();

private:
    std::set<std::string> current_paths() const;

    DeviceChangeHandler handler;
    std::set<std::string> last_paths;
    QTimer timer;
};
