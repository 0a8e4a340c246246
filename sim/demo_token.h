#pragma once

#include "sim_token.h"

#include <memory>

namespace sim {

// The token the demo shows: active user "SIM0000001", TOTP, SHA-1, 6 digits, the RFC 6238
// test secret; a second user with HOTP and SHA-256; in press mode it presses itself after 2 s.
std::shared_ptr<SimToken> make_demo_token();

}  // namespace sim
