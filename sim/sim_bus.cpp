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

SimCollection keyboard_collection(int interface_number)
{
    return SimCollection{0x01, 0x06, interface_number, true};
}

struct SimBus::Connection {
    std::mutex mutex;
    std::condition_variable changed;
    bool plugged = true;
    unsigned generation = 0;  // moved on by every unplug: handles of older generations are dead
    int reads_in_flight = 0;  // reads inside the token, which has no way to be woken from here
    int open_handles = 0;
    std::vector<ReportFanout> typed;  // per collection: what was typed on it
};

class SimBus::Handle : public hidaccess::RawDevice {
public:
    // A null token: the collection does not reach one, and reads only what is typed on it.
    Handle(std::shared_ptr<SimToken> token, std::shared_ptr<Connection> connection, std::size_t collection)
        : token(std::move(token)), connection(std::move(connection)), collection(collection)
    {
        std::lock_guard<std::mutex> lock(this->connection->mutex);
        generation = this->connection->generation;
        ++this->connection->open_handles;
        reader = this->token ? this->token->open_reader()
                             : this->connection->typed[collection].attach(std::chrono::steady_clock::now());
    }

    ~Handle() override
    {
        std::lock_guard<std::mutex> lock(connection->mutex);
        --connection->open_handles;
        if (token)
            token->close_reader(reader);
        else
            connection->typed[collection].detach(reader);
    }

    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int write(const std::uint8_t* report, std::size_t length) override
    {
        // Held across the token call, so a write cannot land after an unplug it raced with.
        std::lock_guard<std::mutex> lock(connection->mutex);
        if (dead() || !u2f::is_output_report(report, length))
            return -1;
        return token ? token->write_report(report, length) : static_cast<int>(length);
    }

    int read(std::uint8_t* data, std::size_t length, int timeout_ms) override
    {
        return token ? read_token(data, length, timeout_ms) : read_typed(data, length, timeout_ms);
    }

private:
    using Clock = std::chrono::steady_clock;

    // A negative time limit means none.
    static std::optional<Clock::time_point> deadline_after(int timeout_ms)
    {
        if (timeout_ms < 0)
            return std::nullopt;
        return Clock::now() + std::chrono::milliseconds(timeout_ms);
    }

    int read_typed(std::uint8_t* data, std::size_t length, int timeout_ms)
    {
        std::unique_lock<std::mutex> lock(connection->mutex);
        const std::optional<Clock::time_point> deadline = deadline_after(timeout_ms);
        for (;;) {
            if (dead())
                return -1;
            if (const std::optional<Bytes> report = connection->typed[collection].take(reader)) {
                const std::size_t count = std::min(report->size(), length);
                std::copy_n(report->begin(), count, data);
                return static_cast<int>(count);
            }
            if (!deadline)
                connection->changed.wait(lock);
            else if (connection->changed.wait_until(lock, *deadline) == std::cv_status::timeout)
                return dead() ? -1 : 0;
        }
    }

    int read_token(std::uint8_t* data, std::size_t length, int timeout_ms)
    {
        std::unique_lock<std::mutex> lock(connection->mutex);
        const std::optional<Clock::time_point> deadline = deadline_after(timeout_ms);
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
            const int result = token->read_report(reader, data, length, slice);
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

    // The caller holds connection->mutex.
    bool dead() const { return !connection->plugged || connection->generation != generation; }

    std::shared_ptr<SimToken> token;
    std::shared_ptr<Connection> connection;
    std::size_t collection = 0;
    unsigned generation = 0;
    int reader = 0;
};

int SimBus::plug(std::shared_ptr<SimToken> token, std::uint16_t vendor_id, std::uint16_t product_id,
                 std::vector<SimCollection> collections)
{
    std::lock_guard<std::mutex> lock(mutex);
    // Ids are never reused: devices stay in the list after an unplug.
    const int id = static_cast<int>(devices.size()) + 1;
    auto connection = std::make_shared<Connection>();
    connection->typed.resize(collections.size());
    devices.push_back(Device{id, std::move(token), vendor_id, product_id, std::move(collections),
                             std::move(connection)});
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

void SimBus::type(int id, std::size_t collection, Bytes report)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Device* device = find(id);
    if (device == nullptr || collection >= device->collections.size())
        return;
    Connection& connection = *device->connection;
    std::lock_guard<std::mutex> connection_lock(connection.mutex);
    if (!connection.plugged)
        return;
    connection.typed[collection].publish(report, std::chrono::steady_clock::now());
    connection.changed.notify_all();
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
            const bool reaches_token = device.collections[i].usage_page == u2f::kFidoUsagePage;
            return std::make_unique<Handle>(reaches_token ? device.token : nullptr, device.connection, i);
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
