#include "log_capture.h"
#include "sim_fixture.h"

namespace {

class Discovery : public ::testing::Test {
protected:
    void SetUp() override { hidaccess::install_raw_device_io(bus); }
    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    std::shared_ptr<sim::SimToken> token_with_serial(const std::string& serial)
    {
        auto token = std::make_shared<sim::SimToken>();
        sim::SimUser user;
        user.serial_number = ascii(serial);
        user.secret = ascii("12345678901234567890");
        token->add_user(user);
        return token;
    }

    static Bytes active_serial(U2FUsbKey& key)
    {
        Bytes serial;
        key.op_get_active(serial);
        return serial;
    }

    static std::string device_found(const std::string& ids, const std::string& path)
    {
        return "Device Found\n" + ids + "\npath: " + path;
    }

    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
};

}  // namespace

TEST_F(Discovery, NothingPluggedInOrNoLayerLogsNothingAndLeavesTheListAlone)
{
    LogCapture log;
    HID().find_device(kOrvandelVendorId, keys);
    hidaccess::install_raw_device_io(nullptr);
    bus->plug(token_with_serial("A1"));
    HID().find_device(kOrvandelVendorId, keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(log.records().empty());
}

TEST_F(Discovery, OtherVendorsAreListedButNeverOpened)
{
    const int mouse = bus->plug(nullptr, 0x046D, 0xC52B);
    const int keyboard = bus->plug(nullptr, 0x1A2C, 0x0E24);
    LogCapture log;
    HID().find_device(kOrvandelVendorId, keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(bus->open_handle_count(mouse) + bus->open_handle_count(keyboard), 0);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  device_found("vendor id: 46d   product id: c52b", bus->paths(mouse).at(0)),
                                  device_found("vendor id: 1a2c   product id: e24", bus->paths(keyboard).at(0))}));
}

TEST_F(Discovery, CollectionThatRefusesToOpenIsSkippedForTheNextOne)
{
    sim::SimCollection kept_by_system;
    kept_by_system.opens = false;
    const int id = bus->plug(token_with_serial("A1"), 0x096E, 0x0407, {kept_by_system, sim::SimCollection{}});
    LogCapture log;
    HID().find_device(kOrvandelVendorId, keys);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(active_serial(*keys[0]), ascii("A1"));
    EXPECT_EQ(bus->open_handle_count(id), 1);

    const std::vector<std::string> messages = log.messages();
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ(messages[0], device_found("vendor id: 96e   product id: 407", bus->paths(id).at(0)));
    EXPECT_EQ(messages[1], "Failed to open Orvandel handle");
    EXPECT_EQ(messages[2], device_found("vendor id: 96e   product id: 407", bus->paths(id).at(1)));
    EXPECT_EQ(messages[3], "Opening Orvandel handle");
}

TEST_F(Discovery, EveryTokenIsOpenedInEnumerationOrderBehindKeysPassedIn)
{
    const int first = bus->plug(token_with_serial("FIRST"), 0x096E, 0x1234);
    bus->plug(nullptr, 0x046D, 0xC52B);
    const int second = bus->plug(token_with_serial("SECOND"), 0x096E, 0x0858,
                                 {sim::SimCollection{}, sim::SimCollection{}});

    HID().find_device(kOrvandelVendorId, keys);
    std::shared_ptr<U2FUsbKey> earlier = keys.front();
    HID().find_device(kOrvandelVendorId, keys);
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[0], earlier);
    EXPECT_EQ(active_serial(*keys[3]), ascii("FIRST"));
    EXPECT_EQ(active_serial(*keys[4]), ascii("SECOND"));
    EXPECT_EQ(active_serial(*keys[5]), ascii("SECOND"));

    // Dropping the keys closes their handles at once.
    EXPECT_EQ(bus->open_handle_count(first), 2);
    keys.erase(keys.begin() + 1, keys.end());
    EXPECT_EQ(bus->open_handle_count(first), 1);
    EXPECT_EQ(bus->open_handle_count(second), 0);
    keys.clear();
    EXPECT_EQ(bus->open_handle_count(first), 1);
    earlier.reset();
    EXPECT_EQ(bus->open_handle_count(first), 0);
}
