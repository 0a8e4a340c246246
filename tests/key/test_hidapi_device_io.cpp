// The production seam over a fake hidapi: the hidapi functions it calls are defined here,
// record their calls and return scripted results, and libhidapi is not linked.

#include "hid.h"
#include "hidapi_device_io.h"
#include "key_exception.h"
#include "log_capture.h"

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;

struct hid_device_ {
    std::string path;
};

namespace {

struct FakeRecord {
    std::string path;
    unsigned short vendor_id = 0x096E;
    unsigned short product_id = 0x0858;
    const wchar_t* serial_number = nullptr;
    unsigned short release_number = 0;
    const wchar_t* manufacturer_string = nullptr;
    const wchar_t* product_string = nullptr;
    unsigned short usage_page = 0xF1D0;
    unsigned short usage = 0x01;
    int interface_number = 0;
};

struct ScriptedRead {
    enum class Kind { Report, Timeout, Failure, Interrupted } kind;
    Bytes report;
    std::chrono::milliseconds takes{0};
};

// What the fake hidapi was told and what it answers. Reset by each test.
struct FakeHidapi {
    std::mutex mutex;
    std::vector<FakeRecord> records;
    std::deque<ScriptedRead> scripted_reads;
    std::vector<int> read_limits;  // the time limit of each scripted read
    std::vector<std::string> opened;
    std::vector<std::pair<std::string, Bytes>> writes;
    int closes = 0;
    int enumerations = 0;
    int frees = 0;
};

FakeHidapi fake;

int copy_out(const Bytes& report, unsigned char* data, size_t length)
{
    const std::size_t count = std::min(length, report.size());
    std::memcpy(data, report.data(), count);
    return static_cast<int>(count);
}

wchar_t* wide_copy(const wchar_t* text)
{
    if (text == nullptr)
        return nullptr;
    auto* copy = new wchar_t[std::wcslen(text) + 1];
    std::wcscpy(copy, text);
    return copy;
}

}  // namespace

extern "C" {

struct hid_device_info* hid_enumerate(unsigned short, unsigned short)
{
    std::lock_guard<std::mutex> lock(fake.mutex);
    ++fake.enumerations;
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const FakeRecord& record : fake.records) {
        auto* info = new hid_device_info{};
        info->path = new char[record.path.size() + 1];
        std::strcpy(info->path, record.path.c_str());
        info->vendor_id = record.vendor_id;
        info->product_id = record.product_id;
        info->serial_number = wide_copy(record.serial_number);
        info->release_number = record.release_number;
        info->manufacturer_string = wide_copy(record.manufacturer_string);
        info->product_string = wide_copy(record.product_string);
        info->usage_page = record.usage_page;
        info->usage = record.usage;
        info->interface_number = record.interface_number;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(struct hid_device_info* devices)
{
    std::lock_guard<std::mutex> lock(fake.mutex);
    ++fake.frees;
    while (devices != nullptr) {
        hid_device_info* next = devices->next;
        delete[] devices->path;
        delete[] devices->serial_number;
        delete[] devices->manufacturer_string;
        delete[] devices->product_string;
        delete devices;
        devices = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    std::lock_guard<std::mutex> lock(fake.mutex);
    fake.opened.push_back(path);
    return new hid_device{path};
}

void hid_close(hid_device* device)
{
    std::lock_guard<std::mutex> lock(fake.mutex);
    ++fake.closes;
    delete device;
}

int hid_write(hid_device* device, const unsigned char* data, size_t length)
{
    std::lock_guard<std::mutex> lock(fake.mutex);
    const Bytes report(data, data + length);
    fake.writes.emplace_back(device->path, report);
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device*, unsigned char* data, size_t length, int milliseconds)
{
    std::unique_lock<std::mutex> lock(fake.mutex);
    if (!fake.scripted_reads.empty()) {
        const ScriptedRead read = fake.scripted_reads.front();
        fake.scripted_reads.pop_front();
        fake.read_limits.push_back(milliseconds);
        lock.unlock();
        std::this_thread::sleep_for(read.takes);
        switch (read.kind) {
        case ScriptedRead::Kind::Report: return copy_out(read.report, data, length);
        case ScriptedRead::Kind::Timeout: return 0;
        case ScriptedRead::Kind::Failure: errno = EIO; return -1;
        case ScriptedRead::Kind::Interrupted: errno = EINTR; return -1;
        }
    }
    return 0;
}

}  // extern "C"

namespace {

class HidapiSeam : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::lock_guard<std::mutex> lock(fake.mutex);
        fake.records.clear();
        fake.scripted_reads.clear();
        fake.read_limits.clear();
        fake.opened.clear();
        fake.writes.clear();
        fake.closes = fake.enumerations = fake.frees = 0;
    }

    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    static void script(std::vector<ScriptedRead> reads)
    {
        std::lock_guard<std::mutex> lock(fake.mutex);
        fake.scripted_reads.assign(reads.begin(), reads.end());
    }

    std::unique_ptr<hidaccess::RawDevice> open_fido()
    {
        fake.records = {FakeRecord{"/dev/hidraw0"}};
        return io.open("/dev/hidraw0");
    }

    std::shared_ptr<U2FUsbKey> discover()
    {
        hidaccess::install_raw_device_io(std::make_shared<hidaccess::HidapiDeviceIo>());
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        return keys.empty() ? nullptr : keys.front();
    }

    hidaccess::HidapiDeviceIo io;
    std::uint8_t report[64] = {};
};

using Kind = ScriptedRead::Kind;

}  // namespace

TEST_F(HidapiSeam, ReadsPassTheirTimeLimitOnAndTheirResultsBack)
{
    auto device = open_fido();
    ASSERT_NE(device, nullptr);
    script({{Kind::Report, {0x0A, 0x0B, 0x0C}}, {Kind::Timeout, {}}, {Kind::Failure, {}}});
    EXPECT_EQ(device->read(report, sizeof report, 250), 3);
    EXPECT_EQ(Bytes(report, report + 3), (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(device->read(report, sizeof report, -1), 0);
    EXPECT_EQ(device->read(report, sizeof report, 0), -1);
    EXPECT_EQ(fake.read_limits, (std::vector<int>{250, -1, 0}));
}

TEST_F(HidapiSeam, ReadInterruptedByASignalIsRetriedForTheTimeLeft)
{
    auto device = open_fido();
    script({{Kind::Interrupted, {}, 100ms}, {Kind::Report, {0x01, 0x02}}});
    EXPECT_EQ(device->read(report, sizeof report, 1000), 2);
    ASSERT_EQ(fake.read_limits.size(), 2u);
    EXPECT_EQ(fake.read_limits[0], 1000);
    EXPECT_LE(fake.read_limits[1], 900);
    EXPECT_GE(fake.read_limits[1], 800);

    // Interrupted until the limit is over: nothing came in time, which is no failure.
    fake.read_limits.clear();
    script({{Kind::Interrupted, {}, 300ms}, {Kind::Interrupted, {}, 300ms}, {Kind::Report, {0x01}}});
    EXPECT_EQ(device->read(report, sizeof report, 500), 0);
    EXPECT_EQ(fake.read_limits.size(), 2u);

    fake.read_limits.clear();
    script({{Kind::Interrupted, {}}, {Kind::Report, {0x07}}});
    EXPECT_EQ(device->read(report, sizeof report, -1), 1);
    EXPECT_EQ(fake.read_limits, (std::vector<int>{-1, -1}));
}

TEST_F(HidapiSeam, EnumerationCopiesEveryFieldAndNullStringsBecomeEmpty)
{
    fake.records = {FakeRecord{"/dev/hidraw3", 0x096E, 0x0407, L"S-1", 0x0100, L"Orvandel", L"OTP Token", 0xF1D0, 0x01, 2},
                    FakeRecord{"/dev/hidraw4", 0x046D, 0xC52B, nullptr, 0, nullptr, nullptr, 0x01, 0x02, -1}};
    const std::vector<hidaccess::RawDeviceInfo> devices = io.enumerate();
    ASSERT_EQ(devices.size(), 2u);
    const auto fields = [](const hidaccess::RawDeviceInfo& d) {
        return std::make_tuple(d.path, d.vendor_id, d.product_id, d.serial_number, d.release_number,
                               d.manufacturer_string, d.product_string, d.usage_page, d.usage, d.interface_number);
    };
    EXPECT_EQ(fields(devices[0]), std::make_tuple(std::string("/dev/hidraw3"), 0x096E, 0x0407, std::wstring(L"S-1"), 0x0100,
                                                  std::wstring(L"Orvandel"), std::wstring(L"OTP Token"), 0xF1D0, 0x01, 2));
    EXPECT_EQ(fields(devices[1]), std::make_tuple(std::string("/dev/hidraw4"), 0x046D, 0xC52B, std::wstring(), 0,
                                                  std::wstring(), std::wstring(), 0x01, 0x02, -1));
    EXPECT_EQ(fake.frees, fake.enumerations);
}

TEST_F(HidapiSeam, KeyboardsAndMiceAreNotOpenedUnlessTheirNodeAlsoCarriesFido)
{
    fake.records = {
        FakeRecord{"/dev/hidraw0", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0x01, 0x06},
        FakeRecord{"/dev/hidraw1", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0x01, 0x02},
        FakeRecord{"/dev/hidraw2", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0x01, 0x06},
        FakeRecord{"/dev/hidraw2", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0xF1D0, 0x01},
        FakeRecord{"/dev/hidraw3", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0xFF00, 0x01},
        FakeRecord{"/dev/hidraw4", 0x096E, 0x0858, nullptr, 0, nullptr, nullptr, 0x01, 0x05},
    };
    EXPECT_EQ(io.open("/dev/hidraw0"), nullptr);
    EXPECT_EQ(io.open("/dev/hidraw1"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw2"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw3"), nullptr);
    EXPECT_NE(io.open("/dev/hidraw4"), nullptr);
    EXPECT_EQ(fake.opened, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw3", "/dev/hidraw4"}));
    EXPECT_EQ(fake.closes, 3);
    EXPECT_EQ(fake.frees, fake.enumerations);
}

TEST_F(HidapiSeam, PresenceProbeWritesOneReportOfZerosAndClosingThenDroppingClosesOnce)
{
    fake.records = {FakeRecord{"/dev/hidraw1"}};
    auto key = discover();
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->is_connected());
    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].second, Bytes(65, 0x00));

    key->close();
    EXPECT_EQ(fake.closes, 1);
    key.reset();
    EXPECT_EQ(fake.closes, 1);
}
