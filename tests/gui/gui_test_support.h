#pragma once

#include "hid.h"
#include "hid_access.h"
#include "oathtool.h"
#include "sim_bus.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The RFC 6238 test secret, as the simulated users below carry it.
inline const std::string kSecret = "12345678901234567890";

// A simulated bus installed below the real access layer for as long as it lives, with one
// token (serial "ABC123", TOTP, SHA-1, 6 digits) plugged in.
struct SimulatedBus {
    SimulatedBus()
    {
        hidaccess::install_raw_device_io(bus);
        token_id = bus->plug(token);
    }
    ~SimulatedBus() { hidaccess::install_raw_device_io(nullptr); }

    static std::shared_ptr<sim::SimToken> make_token(const std::string& serial)
    {
        auto token = std::make_shared<sim::SimToken>();
        sim::SimUser user;
        user.serial_number = ascii(serial);
        user.secret = ascii(kSecret);
        token->add_user(user);
        return token;
    }

    std::shared_ptr<U2FUsbKey> first_key() const
    {
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        return keys.empty() ? nullptr : keys.front();
    }

    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> token = make_token("ABC123");
    int token_id = 0;
};

// What an independent implementation says the code of the window holding `time` is.
inline int oathtool_code(std::int64_t time)
{
    return std::stoi(oathtool("--totp -d 6 -N @" + std::to_string(time) + " " + hex(ascii(kSecret))));
}
