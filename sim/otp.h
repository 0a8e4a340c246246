#pragma once

#include "bytes.h"
#include "sim_token.h"

#include <cstdint>

namespace sim {

// RFC 4226 HMAC over the 8-byte big-endian counter, dynamically truncated to 31 bits.
std::uint32_t truncated_hmac(OtpHash hash, const Bytes& secret, std::uint64_t counter);

}  // namespace sim
