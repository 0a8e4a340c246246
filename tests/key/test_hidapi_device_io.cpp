// The production seam over a fake hidapi: the hidapi functions it calls are defined here,
// record their calls and return scripted results, and libhidapi is not linked.

#include "hidapi_device_io.h"

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

struct hid_device_ {
    std::string path;
};

namespace {

struct FakeRecord {
    std::string path;
    unsigned short usage_page;
    unsigned short usage;
};

// One read: its result (-1 with its errno, or the count of 0x01 bytes) after `takes`.
struct ScriptedRead {
    int result;
    int error;
    std::chrono::milliseconds takes;
};

// What the fake hidapi was told and what it answers (one thread only).
struct FakeHidapi {
    std::vector<FakeRecord> records;
    std::vector<hid_device_info> infos;  // the list of the last enumeration
    std::deque<ScriptedRead> reads;
    std::vector<int> read_limits;
    std::vector<std::string> opened;
    int closes = 0;
    int unfreed = 0;
} fake;

}  // namespace

extern "C" {

struct hid_device_info* hid_enumerate(unsigned short, unsigned short)
{
    ++fake.unfreed;
    fake.infos.assign(fake.records.size(), hid_device_info{});
    for (std::size_t i = 0; i < fake.records.size(); ++i) {
        hid_device_info& info = fake.infos[i];
        info.path = fake.records[i].path.data();
        info.vendor_id = 0x096E;
        info.product_id = 0x0858;
        info.usage_page = fake.records[i].usage_page;
        info.usage = fake.records[i].usage;
        info.next = i + 1 < fake.infos.size() ? &fake.infos[i + 1] : nullptr;
    }
    return fake.infos.empty() ? nullptr : fake.infos.data();
}

void hid_free_enumeration(struct hid_device_info*)
{
    --fake.unfreed;
}

hid_device* hid_open_path(const char* path)
{
    fake.opened.push_back(path);
    return new hid_device{path};
}

void hid_close(hid_device* device)
{
    ++fake.closes;
    delete device;
}

int hid_write(hid_device*, const unsigned char*, size_t length)
{
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device*, unsigned char* data, size_t length, int milliseconds)
{
    if (fake.reads.empty())
        return 0;
    const ScriptedRead read = fake.reads.front();
    fake.reads.pop_front();
    fake.read_limits.push_back(milliseconds);
    std::this_thread::sleep_for(read.takes);
    errno = read.error;
    if (read.result > 0)
        std::memset(data, 0x01, std::min(length, static_cast<size_t>(read.result)));
    return read.result;
}

}  // extern "C"

// A read interrupted by a signal is retried for the time left; interrupted until the limit is
// over, nothing came in time, which is no failure; a failure is passed on.
TEST(HidapiSeam, InterruptedReads)
{
    fake.records = {{"/dev/hidraw0", 0xF1D0, 0x01}};
    hidaccess::HidapiDeviceIo io;
    auto device = io.open("/dev/hidraw0");
    ASSERT_NE(device, nullptr);
    std::uint8_t report[64] = {};
    // The limit each read is given, give or take the sleeps' slack.
    const struct {
        std::vector<ScriptedRead> reads;
        int limit;
        int result;
        std::vector<int> limits;
    } cases[] = {
        {{{-1, EINTR, 100ms}, {2, 0, 0ms}}, 1000, 2, {1000, 900}},
        {{{-1, EINTR, 300ms}, {-1, EINTR, 300ms}, {1, 0, 0ms}}, 500, 0, {500, 200}},
        {{{-1, EINTR, 0ms}, {1, 0, 0ms}}, -1, 1, {-1, -1}},
        {{{-1, EIO, 0ms}}, 0, -1, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        fake.reads.assign(c.reads.begin(), c.reads.end());
        fake.read_limits.clear();
        EXPECT_EQ(device->read(report, sizeof report, c.limit), c.result);
        ASSERT_EQ(fake.read_limits.size(), c.limits.size());
        for (std::size_t i = 0; i < c.limits.size(); ++i)
            EXPECT_NEAR(fake.read_limits[i], c.limits[i], 90);
    }
}

// Keyboards and mice are not opened unless their node also carries the FIDO collection.
TEST(HidapiSeam, KeyboardAndMouseNodes)
{
    fake.records = {{"/dev/hidraw0", 0x01, 0x06}, {"/dev/hidraw1", 0x01, 0x02}, {"/dev/hidraw2", 0x01, 0x06},
                    {"/dev/hidraw2", 0xF1D0, 0x01}, {"/dev/hidraw3", 0xFF00, 0x01}, {"/dev/hidraw4", 0x01, 0x05}};
    fake.opened.clear();
    fake.closes = 0;
    hidaccess::HidapiDeviceIo io;
    EXPECT_EQ(io.open("/dev/hidraw0"), nullptr);
    EXPECT_EQ(io.open("/dev/hidraw1"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw2"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw3"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw4"), nullptr);
    EXPECT_EQ(fake.opened, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw3", "/dev/hidraw4"}));
    EXPECT_EQ(fake.closes, 3);
    EXPECT_EQ(fake.unfreed, 0);
}
