#pragma once

#include "hid.h"
#include "hid_access.h"
#include "sim_bus.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// One simulated token with one TOTP user, plugged in, seen through the real access layer.
class SimTokenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_shared<sim::SimBus>();
        hidaccess::install_raw_device_io(bus);
        token = std::make_shared<sim::SimToken>();
        sim::SimUser user;
        user.serial_number = serial;
        user.secret = ascii("12345678901234567890");
        token->add_user(user);
        id = bus->plug(token);
    }

    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    // The first key discovery finds, as the application takes it.
    std::shared_ptr<U2FUsbKey> discover()
    {
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        if (keys.empty())
            throw std::runtime_error("no key found");
        return keys.front();
    }

    const Bytes serial = ascii("ABC123");
    std::shared_ptr<sim::SimBus> bus;
    std::shared_ptr<sim::SimToken> token;
    int id = 0;
};
