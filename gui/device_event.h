#pragma once

#include "device_change.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class MainFrame;
class QWindow;

// Turns the platform's HID arrival and removal notifications into the controller's
// hid_change_event. Each platform supplies register_event and nativeEventFilter; all of them
// hand what they see to device_changed, the one place that decides.
class DeviceEvent : public QObject, public QAbstractNativeEventFilter {
public:
    DeviceEvent(MainFrame* main_frame, QObject* parent = nullptr);
    ~DeviceEvent() override;

    void register_event(QWindow* window);
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

    // interface_path in the Windows form, e.g. \\?\HID#VID_096E&PID_0858#...
    void device_changed(DeviceChange change, const QString& interface_path);

private:
    MainFrame* main_frame;
    // Whatever keeps the platform's notifications coming (a udev monitor, a poller).
    std::unique_ptr<QObject> source;
};
