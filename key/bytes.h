#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every request, response, report, status word and serial number travels as one of these.
using Bytes = std::vector<std::uint8_t>;

// Log dump of a buffer: two lower-case hex digits and one space per byte.
std::string bytes_to_hex(const Bytes& bytes);
