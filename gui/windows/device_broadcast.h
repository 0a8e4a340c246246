#pragma once

// The bytes of Windows' device-change notifications, decoded without windows.h so that the
// decoding is built and tested on every platform; the Win32 glue only hands the bytes over.

#include "device_change.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace win32 {

constexpr std::uint32_t kWmDeviceChange = 0x0219;
constexpr std::uintptr_t kDbtDeviceArrival = 0x8000;
constexpr std::uintptr_t kDbtDeviceRemoveComplete = 0x8004;
constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;

// DEV_BROADCAST_DEVICEINTERFACE_A: size, device type, reserved, class GUID, an empty name.
struct alignas(4) HidInterfaceFilter {
    std::array<std::uint8_t, 32> bytes{};
};

// hid_class_guid: the GUID as it lies in memory, as HidD_GetHidGuid fills it.
HidInterfaceFilter hid_interface_filter(const std::array<std::uint8_t, 16>& hid_class_guid);

struct DeviceBroadcast {
    DeviceChange change;
    std::u16string interface_path;
};

// One WM_DEVICECHANGE message: an arrival or removal of a device interface, with its name
// (UTF-16 from byte 28 of the DEV_BROADCAST_DEVICEINTERFACE_W record), or nothing. Other
// record types (volumes, ports) are told apart by their header alone, so nothing is read
// past their end; neither is a name read beyond the size the record states.
std::optional<DeviceBroadcast> classify_device_change(std::uint32_t message, std::uintptr_t wparam,
                                                      const void* record);

}  // namespace win32
