#include "hid_access.h"

#include "raw_device_io.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>

namespace hidaccess {

struct hid_device {
    std::unique_ptr<RawDevice> raw;
    std::atomic<bool> cancelled{false};
};

namespace {

std::shared_ptr<RawDeviceIo> installed_io;

// Long waits are cut into slices this long so that a cancel is seen quickly.
constexpr int kWaitSliceMs = 50;

// A device that keeps sending faster than we drain is not flushed; give up after this many reports.
constexpr int kMaxFlushedReports = 1024;

using Clock = std::chrono::steady_clock;

int read_until(hid_device* device, unsigned char* data, std::size_t length,
               std::optional<Clock::time_point> deadline)
{
    if (device == nullptr || data == nullptr)
        return -1;
    for (;;) {
        if (device->cancelled.load())
            return -1;
        int slice = kWaitSliceMs;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            slice = static_cast<int>(std::clamp<long long>(left.count(), 0, kWaitSliceMs));
        }
        const int result = device->raw->read(data, length, slice);
        if (result != 0)
            return result;
        if (deadline && Clock::now() >= *deadline)
            return 0;
    }
}

}  // namespace

void install_raw_device_io(std::shared_ptr<RawDeviceIo> io)
{
    installed_io = std::move(io);
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    if (!installed_io)
        return nullptr;
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const RawDeviceInfo& raw : installed_io->enumerate()) {
        if ((vendor_id != 0 && raw.vendor_id != vendor_id) || (product_id != 0 && raw.product_id != product_id))
            continue;
        auto* info = new hid_device_info;
        info->path = raw.path;
        info->vendor_id = raw.vendor_id;
        info->product_id = raw.product_id;
        info->serial_number = raw.serial_number;
        info->release_number = raw.release_number;
        info->manufacturer_string = raw.manufacturer_string;
        info->product_string = raw.product_string;
        info->usage_page = raw.usage_page;
        info->usage = raw.usage;
        info->interface_number = raw.interface_number;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devices)
{
    while (devices != nullptr) {
        hid_device_info* next = devices->next;
        delete devices;
        devices = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    if (!installed_io || path == nullptr)
        return nullptr;
    std::unique_ptr<RawDevice> raw = installed_io->open(path);
    if (!raw)
        return nullptr;
    auto* device = new hid_device;
    device->raw = std::move(raw);
    return device;
}

void hid_close(hid_device* device)
{
    delete device;
}

int hid_write(hid_device* device, const unsigned char* data, std::size_t length)
{
    // hidraw sends exactly what it is given, and the token wants full reports.
    std::array<unsigned char, 1 + kReportSize> report{};
    if (device == nullptr || device->cancelled.load() || length > report.size() || (length > 0 && data == nullptr))
        return -1;
    if (length > 0)
        std::memcpy(report.data(), data, length);
    return device->raw->write(report.data(), report.size());
}

int hid_read(hid_device* device, unsigned char* data, std::size_t length)
{
    return read_until(device, data, length, std::nullopt);
}

int hid_read_timeout(hid_device* device, unsigned char* data, std::size_t length, int milliseconds)
{
    if (milliseconds < 0)
        return hid_read(device, data, length);
    return read_until(device, data, length, Clock::now() + std::chrono::milliseconds(milliseconds));
}

int hid_flush_queue(hid_device* device)
{
    if (device == nullptr || device->cancelled.load())
        return -1;
    std::array<unsigned char, 1 + kReportSize> scratch{};
    for (int drained = 0; drained < kMaxFlushedReports; ++drained) {
        const int result = device->raw->read(scratch.data(), scratch.size(), 0);
        if (result == 0)
            return 0;
        if (result < 0)
            return -1;
    }
    return -1;
}

void hid_cancel(hid_device* device)
{
    if (device != nullptr)
        device->cancelled.store(true);
}

}  // namespace hidaccess
