#pragma once

// The hidapi-style device access family every layer above uses, plus hid_flush_queue and
// hid_cancel. It sits on the raw-device seam (raw_device_io.h), so it is the same code
// whether a real token or the simulated one is below.

#include <cstddef>
#include <string>

namespace hidaccess {

// Every output report goes out as report id 0 plus this many bytes.
constexpr std::size_t kReportSize = 64;

struct hid_device;

struct hid_device_info {
    std::string path;
    unsigned short vendor_id = 0;
    unsigned short product_id = 0;
    std::wstring serial_number;
    unsigned short release_number = 0;
    std::wstring manufacturer_string;
    std::wstring product_string;
    unsigned short usage_page = 0;
    unsigned short usage = 0;
    int interface_number = -1;
    hid_device_info* next = nullptr;
};

// vendor_id and product_id 0 mean "any". Null when nothing matches or no seam is installed.
hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id);
void hid_free_enumeration(hid_device_info* devices);

hid_device* hid_open_path(const char* path);
void hid_close(hid_device* device);

// Pads data to one full report with zeros; length 0 sends one report of zeros.
int hid_write(hid_device* device, const unsigned char* data, std::size_t length);
// Waits without time limit, in short slices so that hid_cancel can end the wait.
int hid_read(hid_device* device, unsigned char* data, std::size_t length);
int hid_read_timeout(hid_device* device, unsigned char* data, std::size_t length, int milliseconds);
// Discards every input report that arrived and was not read; 0 on success, -1 on failure.
int hid_flush_queue(hid_device* device);

// Ends a running hid_read with -1 and makes every later read, write and flush fail, so a
// cancelled handle also fails a presence probe; safe from any thread.
void hid_cancel(hid_device* device);

}  // namespace hidaccess
