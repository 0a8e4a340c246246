#pragma once

#include "raw_device_io.h"
#include "report_fanout.h"
#include "sim_token.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// One HID collection of a plugged device. Only one on the FIDO usage page reaches the token;
// any other takes writes and never answers, and has input reports only when typed.
struct SimCollection {
    std::uint16_t usage_page = u2f::kFidoUsagePage;
    std::uint16_t usage = 0x01;
    int interface_number = 0;
    bool opens = true;                  // false: the system keeps it for itself
};

// The keyboard collection a token may have beside its FIDO one.
SimCollection keyboard_collection(int interface_number = 0);

// The simulated USB bus below the access layer: what is plugged in, in plug order. As on
// hidraw, a write must be report id 0 plus one full report, and every open handle gets its
// own copy of every input report of its collection.
class SimBus : public hidaccess::RawDeviceIo {
public:
    // Plugs a device in; a null token lists a device that opens but never answers (another
    // vendor's mouse, say). Returns the id that unplug and replug take.
    int plug(std::shared_ptr<SimToken> token, std::uint16_t vendor_id = 0x096E,
             std::uint16_t product_id = 0x0858, std::vector<SimCollection> collections = {SimCollection{}});
    // Every handle opened on it fails from now on, even after a replug, as on real hardware.
    void unplug(int id);
    // Back in the list with the same paths; the token is power-cycled.
    void replug(int id);

    std::vector<std::string> paths(int id) const;
    int open_handle_count(int id) const;
    // One input report on a collection that does not reach the token, as a key press gives.
    void type(int id, std::size_t collection, Bytes report);

    std::vector<hidaccess::RawDeviceInfo> enumerate() override;
    std::unique_ptr<hidaccess::RawDevice> open(const std::string& path) override;

private:
    struct Connection;  // what a device's handles share with the bus
    class Handle;

    struct Device {
        int id = 0;
        std::shared_ptr<SimToken> token;
        std::uint16_t vendor_id = 0;
        std::uint16_t product_id = 0;
        std::vector<SimCollection> collections;
        std::shared_ptr<Connection> connection;
    };

    const Device* find(int id) const;

    mutable std::mutex mutex;
    std::vector<Device> devices;  // plug order; unplugged ones stay for replug
};

}  // namespace sim
