#pragma once

// What the platform reports about a HID interface. Free of Qt so that the Windows record
// decoding builds with nothing but a C++ compiler.
enum class DeviceChange { Arrival, Removal };
