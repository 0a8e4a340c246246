#include "sim_bus.h"

#include "hid.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <optional>

namespace sim {

namespace {

// Reads wait on the token in slices this long, so that an unplug ends them quickly.
constexpr int kReadSliceMs = 10;

std::string collection_path(int id, std::size_t collection)
{
    return "sim:" + std::to_string(id) + ":" + std::to_string(collection);
}

}  // namespace

struct SimBus::Connection {
    std::mutex mutex;
    std::condition_variable changed;
    bool plugged = true;
    unsigned generation = 0;  // moved on by every unplug: handles of older generations are dead
    int reads_in_flight = 0;  // reads inside the token, which has no way to be woken from here
    int open_handles = 0;
};

class SimBus::Handle : public hidaccess::RawDevice {
public:
    Handle(std::shared_ptr<SimToken> token, std::shared_ptr<Connection> connection)
        : token(std::move(token)), connection(std::move(connection))
    {
        std::lock_guard<std::mutex> lock(this->connection->mutex);
        generation = this->connection->generation;
        ++this->connection->open_handles;
    }

    ~Handle() override
    {
        std::lock_guard<std::mutex> lock(connection->mutex);
        --connection->open_handles;
    }

    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int write(const std::uint8_t* report, std::size_t length) override
    {
        // Held across the token call, so a write cannot land after an unplug it raced with.
        std::lock_guard<std::mutex> lock(connection->mutex);
        if (dead())
            return -1;
        return token ? token->write_report(report, length) : static_cast<int>(length);
    }

    int read(std::uint8_t* data, std::size_t length, int timeout_ms) override
    {
        using Clock = std::chrono::steady_clock;
        std::unique_lock<std::mutex> lock(connection->mutex);
        const auto gone = [this] { return dead(); };
        if (!token) {
            if (timeout_ms < 0)
                connection->changed.wait(lock, gone);
            else
                connection->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), gone);
            return dead() ? -1 : 0;
        }

        std::optional<Clock::time_point> deadline;
        if (timeout_ms >= 0)
            deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            if (dead())
                return -1;
            int slice = kReadSliceMs;
            if (deadline) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
                slice = static_cast<int>(std::clamp<long long>(left.count(), 0, kReadSliceMs));
            }
            ++connection->reads_in_flight;
            lock.unlock();
            const int result = token->read_report(data, length, slice);
            lock.lock();
            --connection->reads_in_flight;
            connection->changed.notify_all();
            // What a dead handle read is lost, as it would be on a cable pulled mid-transfer.
            if (dead())
                return -1;
            if (result != 0 || (deadline && Clock::now() >= *deadline))
                return result;
        }
    }

private:
    // The caller holds connection->mutex.
    bool dead() const { return !connection->plugged || connection->generation != generation; }

    std::shared_ptr<SimToken> token;
    std::shared_ptr<Connection> connection;
    unsigned generation = 0;
};

int SimBus::plug(std::shared_ptr<SimToken> token, std::uint16_t vendor_id, std::uint16_t product_id,
                 std::vector<SimCollection> collections)
{
    std::lock_guard<std::mutex> lock(mutex);
    // Ids are never reused: devices stay in the list after an unplug.
    const int id = static_cast<int>(devices.size()) + 1;
    devices.push_back(Device{id, std::move(token), vendor_id, product_id, std::move(collections),
                             std::make_shared<Connection>()});
    return id;
}

void SimBus::unplug(int id)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Device* device = find(id);
    if (device == nullptr)
        return;
    Connection& connection = *device->connection;
    std::lock_guard<std::mutex> connection_lock(connection.mutex);
    if (!connection.plugged)
        return;
    connection.plugged = false;
    ++connection.generation;
    connection.changed.notify_all();
}

void SimBus::replug(int id)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Device* device = find(id);
    if (device == nullptr)
        return;
    Connection& connection = *device->connection;
    std::unique_lock<std::mutex> connection_lock(connection.mutex);
    if (connection.plugged)
        return;
    // A dead handle's read still inside the token must not take what the token says after
    // the power cycle; it leaves within one read slice.
    connection.changed.wait(connection_lock, [&connection] { return connection.reads_in_flight == 0; });
    if (device->token)
        device->token->power_cycle();
    connection.plugged = true;
}

std::vector<std::string> SimBus::paths(int id) const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> result;
    if (const Device* device = find(id)) {
        for (std::size_t i = 0; i < device->collections.size(); ++i)
            result.push_back(collection_path(id, i));
    }
    return result;
}

int SimBus::open_handle_count(int id) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const Device* device = find(id);
    if (device == nullptr)
        return 0;
    std::lock_guard<std::mutex> connection_lock(device->connection->mutex);
    return device->connection->open_handles;
}

std::vector<hidaccess::RawDeviceInfo> SimBus::enumerate()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<hidaccess::RawDeviceInfo> result;
    for (const Device& device : devices) {
        {
            std::lock_guard<std::mutex> connection_lock(device.connection->mutex);
            if (!device.connection->plugged)
                continue;
        }
        const bool orvandel = device.vendor_id == kOrvandelVendorId;
        for (std::size_t i = 0; i < device.collections.size(); ++i) {
            const SimCollection& collection = device.collections[i];
            hidaccess::RawDeviceInfo info;
            info.path = collection_path(device.id, i);
            info.vendor_id = device.vendor_id;
            info.product_id = device.product_id;
            info.serial_number = L"SIM-" + std::to_wstring(device.id);
            info.release_number = 0x0100;
            info.manufacturer_string = orvandel ? L"Orvandel" : L"Generic";
            info.product_string = orvandel ? L"OTP Token" : L"USB Input Device";
            info.usage_page = collection.usage_page;
            info.usage = collection.usage;
            info.interface_number = collection.interface_number;
            result.push_back(std::move(info));
        }
    }
    return result;
}

std::unique_ptr<hidaccess::RawDevice> SimBus::open(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const Device& device : devices) {
        for (std::size_t i = 0; i < device.collections.size(); ++i) {
            if (collection_path(device.id, i) != path)
                continue;
            if (!device.collections[i].opens)
                return nullptr;
            {
                std::lock_guard<std::mutex> connection_lock(device.connection->mutex);
                if (!device.connection->plugged)
                    return nullptr;
            }
            // The bus lock keeps an unplug from slipping in before the handle takes its generation.
            return std::make_unique<Handle>(device.token, device.connection);
        }
    }
    return nullptr;
}

const SimBus::Device* SimBus::find(int id) const
{
    const auto found =
        std::find_if(devices.begin(), devices.end(), [id](const Device& device) { return device.id == id; });
    return found != devices.end() ? &*found : nullptr;
}

}  // namespace sim
