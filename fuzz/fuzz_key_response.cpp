// Feeds arbitrary device reports to the U2F framing, the response split and every parser
// behind it, through the raw-device seam. Input: one selector byte, then reports, each a
// length byte followed by that many bytes; a zero length is a read that timed out. The
// queue always looks empty to a flush. Reports that are not the answer (another channel,
// KEEPALIVE, ERROR) reach the transport's skip loop.

#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"
#include "raw_device_io.h"

#include <easylogging++.h>

#include <algorithm>
#include <cstring>

namespace {

class FuzzedDevice : public hidaccess::RawDevice {
public:
    FuzzedDevice(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    int write(const std::uint8_t* report, std::size_t length) override
    {
        // Echo the nonce of an INIT into every report read while its answer is awaited, so
        // that the input reaches past channel allocation even after skipped reports.
        echo_nonce = length >= 16 && report[5] == 0x86;
        if (echo_nonce)
            std::memcpy(nonce, report + 8, sizeof nonce);
        return static_cast<int>(length);
    }

    int read(std::uint8_t* out, std::size_t length, int timeout_ms) override
    {
        // Flushing polls with no wait; leave the input for the reads that follow.
        if (timeout_ms == 0)
            return 0;
        if (position >= size)
            return -1;
        const std::size_t declared = data[position++];
        const std::size_t count = std::min(declared, size - position);
        const std::size_t copied = std::min(count, length);
        std::memcpy(out, data + position, copied);
        position += count;
        if (echo_nonce && copied >= 15)
            std::memcpy(out + 7, nonce, sizeof nonce);
        return static_cast<int>(copied);
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
    bool echo_nonce = false;
    std::uint8_t nonce[8] = {};
};

class FuzzedIo : public hidaccess::RawDeviceIo {
public:
    FuzzedIo(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    std::vector<hidaccess::RawDeviceInfo> enumerate() override
    {
        return {{"fuzz:0", kOrvandelVendorId, 0, {}, 0, {}, {}, 0, 0, -1}};
    }

    std::unique_ptr<hidaccess::RawDevice> open(const std::string&) override
    {
        return std::make_unique<FuzzedDevice>(data, size);
    }

private:
    const std::uint8_t* data;
    std::size_t size;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    el::Configurations quiet;
    quiet.setToDefault();
    quiet.setGlobally(el::ConfigurationType::Enabled, "false");
    el::Loggers::reconfigureAllLoggers(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    hidaccess::install_raw_device_io(std::make_shared<FuzzedIo>(data + 1, size - 1));
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    U2FUsbKey& key = *keys.at(0);
    try {
        Bytes serial;
        std::vector<User> users;
        std::int32_t digits = 0;
        switch (data[0] % 5) {
        case 0: key.op_get_active(serial); break;
        case 1: key.op_get_user_info(users); break;
        case 2: key.op_get_otp({0x41, 0x42}, digits); break;
        case 3: key.switch_press_mode(data[0] & 0x80); break;
        default: key.op_personlization(1, 2, 3, {0x10}, {0x41}); break;
        }
    } catch (const KeyException&) {
    }
    hidaccess::install_raw_device_io(nullptr);
    return 0;
}
