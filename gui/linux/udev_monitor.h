#pragma once

#include "device_change.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

struct udev;
struct udev_monitor;
class QSocketNotifier;

using DeviceChangeHandler = std::function<void(DeviceChange, const QString& interface_path)>;

// hidraw nodes added and removed, as udev announces them once its rules (the uaccess tag
// among them) have run, so a node is ready for us when we hear of it. Read on the GUI thread.
class UdevMonitor : public QObject {
public:
    // Null when udev cannot be listened to here (no udev daemon, a sandbox).
    static std::unique_ptr<UdevMonitor> create(DeviceChangeHandler handler);
    ~UdevMonitor() override;

private:
    UdevMonitor(udev* context, udev_monitor* monitor, DeviceChangeHandler handler);
    void receive();

    udev* context;
    udev_monitor* monitor;
    DeviceChangeHandler handler;
    std::unique_ptr<QSocketNotifier> notifier;
};
