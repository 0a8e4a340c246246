#pragma once

#include "hid.h"
#include "hid_access.h"
#include "sim_bus.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// One simulated token with one TOTP user, plugged in, seen through the real access layer.
class SimTokenTest : public ::testing::Test {
protected:
    void SetUp() override { hidaccess::install_raw_device_io(bus); }
    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    // The first key discovery finds, as the application takes it.
    std::shared_ptr<U2FUsbKey> discover()
    {
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        return keys.at(0);
    }

    const Bytes serial = ascii("ABC123");
    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> token = [this] {
        auto made = std::make_shared<sim::SimToken>();
        made->add_user({serial, sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, ascii("12345678901234567890"), 6});
        return made;
    }();
    int id = bus->plug(token);
};
