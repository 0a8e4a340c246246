#pragma once

#include "hid_access.h"
#include "sim_bus.h"
#include "test_helpers.h"

#include <memory>
#include <string>
#include <vector>

// A token with one user: TOTP, SHA-1, six digits, RFC 6238's SHA-1 secret.
inline std::shared_ptr<sim::SimToken> rfc_token(const std::string& serial)
{
    auto token = std::make_shared<sim::SimToken>();
    token->add_user({ascii(serial), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, ascii("12345678901234567890"), 6});
    return token;
}

// A simulated bus below the real access layer for as long as it lives, with one token plugged in.
struct SimulatedToken {
    explicit SimulatedToken(std::shared_ptr<sim::SimToken> plugged = rfc_token("ABC123"),
                            std::vector<sim::SimCollection> collections = {sim::SimCollection{}})
        : token(std::move(plugged)), id(bus->plug(token, 0x096E, 0x0858, std::move(collections)))
    {
        hidaccess::install_raw_device_io(bus);
    }
    ~SimulatedToken() { hidaccess::install_raw_device_io(nullptr); }
    SimulatedToken(const SimulatedToken&) = delete;
    SimulatedToken& operator=(const SimulatedToken&) = delete;

    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> token;
    int id;
};
