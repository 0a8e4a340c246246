#include "device_event.h"

#include "device_broadcast.h"

#include <easylogging++.h>

#include <QWindow>

#include <cstring>

#include <windows.h>
// After windows.h, which the HID headers assume.
#include <dbt.h>
// mingw-w64's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

void DeviceEvent::register_event(QWindow* window)
{
    GUID hid_guid;
    HidD_GetHidGuid(&hid_guid);
    std::array<std::uint8_t, 16> guid_bytes;
    std::memcpy(guid_bytes.data(), &hid_guid, guid_bytes.size());
    win32::HidInterfaceFilter filter = win32::hid_interface_filter(guid_bytes);
    if (RegisterDeviceNotificationA(reinterpret_cast<HWND>(window->winId()), filter.bytes.data(),
                                    DEVICE_NOTIFY_WINDOW_HANDLE) == nullptr)
        LOG(ERROR) << "register device notification error";
}

bool DeviceEvent::nativeEventFilter(const QByteArray&, void* message, long*)
{
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != win32::kWmDeviceChange)
        return false;
    const std::optional<win32::DeviceBroadcast> broadcast = win32::classify_device_change(
        msg->message, static_cast<std::uintptr_t>(msg->wParam), reinterpret_cast<const void*>(msg->lParam));
    if (broadcast)
        device_changed(broadcast->change, QString::fromStdU16String(broadcast->interface_path));
    return false;
}
