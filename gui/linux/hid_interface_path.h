#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Linux names HID interfaces by their hidraw node; the watcher's vendor match is written for
// the Windows interface path. Building that form here lets one rule serve both platforms.

// \\?\HID#VID_096E&PID_0858#hidraw2 for vendor 0x096E, product 0x0858, node hidraw2.
std::string hid_interface_path(std::uint16_t vendor_id, std::uint16_t product_id, const std::string& node);

// From a udev devpath such as /devices/.../0003:096E:0858.0004/hidraw/hidraw2. Only the
// devpath itself is read: on removal the sysfs entries are already gone.
std::optional<std::string> hid_interface_path_from_devpath(const std::string& devpath);
