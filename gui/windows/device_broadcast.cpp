#include "device_broadcast.h"

#include <cstring>

namespace win32 {

namespace {

constexpr std::size_t kHeaderSize = 12;  // size, device type, reserved
constexpr std::size_t kNameOffset = kHeaderSize + 16;

void put_u32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get_u32(const std::uint8_t* at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

}  // namespace

HidInterfaceFilter hid_interface_filter(const std::array<std::uint8_t, 16>& hid_class_guid)
{
    HidInterfaceFilter filter;
    put_u32(filter.bytes.data(), static_cast<std::uint32_t>(filter.bytes.size()));
    put_u32(filter.bytes.data() + 4, kDbtDevtypDeviceInterface);
    std::memcpy(filter.bytes.data() + kHeaderSize, hid_class_guid.data(), hid_class_guid.size());
    return filter;
}

std::optional<DeviceBroadcast> classify_device_change(std::uint32_t message, std::uintptr_t wparam,
                                                      const void* record)
{
    if (message != kWmDeviceChange)
        return std::nullopt;
    if (wparam != kDbtDeviceArrival && wparam != kDbtDeviceRemoveComplete)
        return std::nullopt;
    if (record == nullptr)
        return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    const std::uint32_t size = get_u32(bytes);
    if (get_u32(bytes + 4) != kDbtDevtypDeviceInterface || size < kNameOffset)
        return std::nullopt;

    DeviceBroadcast broadcast{wparam == kDbtDeviceArrival ? DeviceChange::Arrival : DeviceChange::Removal, {}};
    for (std::size_t at = kNameOffset; at + 2 <= size; at += 2) {
        const auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == 0)
            break;
        broadcast.interface_path.push_back(unit);
    }
    return broadcast;
}

}  // namespace win32
