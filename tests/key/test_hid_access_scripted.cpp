#include "hid_access.h"
#include "scripted_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The access layer over the scripted device, which needs neither Qt nor the simulator, so
// that padding, flushing, time limits and cancelling are also checked on Windows.
class ScriptedAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        hidaccess::install_raw_device_io(io);
        device = hidaccess::hid_open_path("script:0");
        ASSERT_NE(device, nullptr);
    }

    void TearDown() override
    {
        hidaccess::hid_close(device);
        hidaccess::install_raw_device_io(nullptr);
    }

    // The scripted device answers an INIT with one report.
    int write_init()
    {
        return hidaccess::hid_write(device, kInit, sizeof kInit);
    }

    static constexpr unsigned char kInit[16] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08,
                                                1,    2,    3,    4,    5,    6,    7,    8};
    std::shared_ptr<ScriptedIo> io = std::make_shared<ScriptedIo>();
    hidaccess::hid_device* device = nullptr;
    unsigned char report[256] = {};
};

}  // namespace

TEST_F(ScriptedAccess, ShortWritesGoOutAsOneZeroPaddedReport)
{
    EXPECT_EQ(write_init(), 65);
    Bytes expected(std::begin(kInit), std::end(kInit));
    expected.resize(65, 0x00);
    EXPECT_EQ(io->written.back(), expected);

    EXPECT_EQ(hidaccess::hid_write(device, nullptr, 0), 65);
    EXPECT_EQ(io->written.back(), Bytes(65, 0x00));

    const Bytes oversized(66, 0x01);
    EXPECT_EQ(hidaccess::hid_write(device, oversized.data(), oversized.size()), -1);
    EXPECT_EQ(io->written.size(), 2u);
}

TEST_F(ScriptedAccess, FlushDiscardsQueuedReportsAndPassesOnARefusal)
{
    ASSERT_EQ(write_init(), 65);
    ASSERT_EQ(write_init(), 65);
    EXPECT_EQ(hidaccess::hid_flush_queue(device), 0);
    EXPECT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 100), 0);

    ASSERT_EQ(write_init(), 65);
    EXPECT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 1000), 64);
    EXPECT_EQ(report[4], 0x86);

    io->refuse_flush = true;
    EXPECT_EQ(hidaccess::hid_flush_queue(device), -1);
}

TEST_F(ScriptedAccess, TimedReadWaitsItsLimitAndCancelEndsABlockingRead)
{
    auto start = Clock::now();
    EXPECT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 300), 0);
    EXPECT_GE(Clock::now() - start, 290ms);

    auto blocked = std::async(std::launch::async, [&] { return hidaccess::hid_read(device, report, sizeof report); });
    EXPECT_EQ(blocked.wait_for(200ms), std::future_status::timeout);
    start = Clock::now();
    hidaccess::hid_cancel(device);
    EXPECT_EQ(blocked.get(), -1);
    EXPECT_LT(Clock::now() - start, 1s);
    // The cancel sticks: no later read, write (a presence probe) or flush finds the device alive.
    EXPECT_EQ(hidaccess::hid_read_timeout(device, report, sizeof report, 1000), -1);
    EXPECT_EQ(hidaccess::hid_write(device, nullptr, 0), -1);
    EXPECT_EQ(hidaccess::hid_flush_queue(device), -1);
}
