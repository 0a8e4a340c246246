#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hidaccess {

// What enumeration tells about one HID collection.
struct RawDeviceInfo {
    std::string path;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::wstring serial_number;
    std::uint16_t release_number = 0;
    std::wstring manufacturer_string;
    std::wstring product_string;
    std::uint16_t usage_page = 0;
    std::uint16_t usage = 0;
    int interface_number = -1;
};

// One open collection below the access layer. Used by one thread at a time.
class RawDevice {
public:
    virtual ~RawDevice() = default;
    // report starts with the report id; returns the count written or -1.
    virtual int write(const std::uint8_t* report, std::size_t length) = 0;
    // Returns the report length without report id, 0 when nothing came in time, -1 on failure.
    virtual int read(std::uint8_t* data, std::size_t length, int timeout_ms) = 0;
};

// The seam: hidapi in the application, the simulated token in tests and the demo.
class RawDeviceIo {
public:
    virtual ~RawDeviceIo() = default;
    virtual std::vector<RawDeviceInfo> enumerate() = 0;
    // Null when the collection cannot be opened.
    virtual std::unique_ptr<RawDevice> open(const std::string& path) = 0;
};

// Chosen once at start-up, before any device is enumerated or opened.
void install_raw_device_io(std::shared_ptr<RawDeviceIo> io);

}  // namespace hidaccess
