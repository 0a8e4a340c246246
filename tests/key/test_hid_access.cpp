#include "sim_fixture.h"

#include <chrono>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class HidAccess : public SimTokenTest {
protected:
    void SetUp() override
    {
        SimTokenTest::SetUp();
        device = hidaccess::hid_open_path(bus->paths(id).at(0).c_str());
        ASSERT_NE(device, nullptr);
    }

    void TearDown() override
    {
        hidaccess::hid_close(device);
        SimTokenTest::TearDown();
    }

    hidaccess::hid_device* device = nullptr;
    unsigned char report[256] = {};
};

}  // namespace

TEST_F(HidAccess, DeadOrMissingDevicesFailInsteadOfBlocking)
{
    bus->unplug(id);
    EXPECT_EQ(hidaccess::hid_flush_queue(device), -1);
    EXPECT_EQ(hidaccess::hid_write(device, nullptr, 0), -1);
    const auto start = Clock::now();
    EXPECT_EQ(hidaccess::hid_read(device, report, sizeof report), -1);
    EXPECT_LT(Clock::now() - start, 1s);

    EXPECT_EQ(hidaccess::hid_open_path("sim:no-such-device"), nullptr);
    EXPECT_EQ(hidaccess::hid_write(nullptr, nullptr, 0), -1);
    EXPECT_EQ(hidaccess::hid_read(nullptr, report, sizeof report), -1);
    EXPECT_EQ(hidaccess::hid_flush_queue(nullptr), -1);
    hidaccess::hid_close(nullptr);
}

TEST_F(HidAccess, EveryHandleGetsItsOwnCopyAndAFullQueueDropsItsOldest)
{
    hidaccess::hid_device* second = hidaccess::hid_open_path(bus->paths(id).at(0).c_str());
    ASSERT_NE(second, nullptr);
    // Each INIT answer echoes its nonce, so the answers tell which request they belong to.
    for (unsigned char n = 0; n < 70; ++n) {
        const unsigned char init[16] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08, n, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(hidaccess::hid_write(device, init, sizeof init), 65);
        ASSERT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 1000), 64);
        EXPECT_EQ(report[7], n);
    }
    EXPECT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 0), 0);

    std::vector<unsigned char> seen;
    while (hidaccess::hid_read_timeout(second, report, sizeof report, 0) > 0)
        seen.push_back(report[7]);
    ASSERT_EQ(seen.size(), 64u);
    EXPECT_EQ(seen.front(), 6);
    EXPECT_EQ(seen.back(), 69);
    hidaccess::hid_close(second);
}

TEST_F(HidAccess, OnlyReportIdZeroPlusOneFullReportIsWritten)
{
    std::unique_ptr<hidaccess::RawDevice> raw = bus->open(bus->paths(id).at(0));
    Bytes report_bytes(65, 0x00);
    report_bytes[1] = 0xFF;
    EXPECT_EQ(raw->write(report_bytes.data(), 64), -1);
    EXPECT_EQ(raw->write(report_bytes.data(), 66), -1);
    report_bytes[0] = 0x01;
    EXPECT_EQ(raw->write(report_bytes.data(), 65), -1);
    EXPECT_TRUE(token->received_reports().empty());
    report_bytes[0] = 0x00;
    EXPECT_EQ(raw->write(report_bytes.data(), 65), 65);
    EXPECT_EQ(token->received_reports().size(), 1u);
}

TEST_F(HidAccess, KeyboardCollectionTakesWritesAnswersNothingAndReadsOnlyWhatIsTyped)
{
    bus->unplug(id);
    id = bus->plug(token, 0x096E, 0x0858, {sim::keyboard_collection(), sim::SimCollection{}});
    hidaccess::hid_device* keyboard = hidaccess::hid_open_path(bus->paths(id).at(0).c_str());
    hidaccess::hid_device* fido = hidaccess::hid_open_path(bus->paths(id).at(1).c_str());
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(fido, nullptr);

    const unsigned char init[16] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(hidaccess::hid_write(keyboard, init, sizeof init), 65);
    EXPECT_EQ(hidaccess::hid_read_timeout(keyboard, report, sizeof report, 100), 0);
    EXPECT_TRUE(token->received_reports().empty());

    EXPECT_EQ(hidaccess::hid_write(fido, init, sizeof init), 65);
    EXPECT_EQ(hidaccess::hid_read_timeout(fido, report, sizeof report, 1000), 64);
    EXPECT_EQ(hidaccess::hid_read_timeout(keyboard, report, sizeof report, 100), 0);

    const Bytes key_a = {0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    bus->type(id, 0, key_a);
    EXPECT_EQ(hidaccess::hid_read_timeout(keyboard, report, sizeof report, 1000), 8);
    EXPECT_EQ(Bytes(report, report + 8), key_a);
    EXPECT_EQ(hidaccess::hid_read_timeout(fido, report, sizeof report, 100), 0);
    hidaccess::hid_close(keyboard);
    hidaccess::hid_close(fido);
}
