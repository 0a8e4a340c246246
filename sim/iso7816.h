#pragma once

#include "bytes.h"

#include <cstdint>

// The ISO 7816-4 status words the token answers with.
namespace sim::iso {

constexpr std::uint16_t kSuccess = 0x9000;
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kNoSuchObject = 0x6984;  // also what a press wait ends with when nobody pressed
constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
constexpr std::uint16_t kWrongSyntax = 0x6A80;
constexpr std::uint16_t kNotFound = 0x6A82;
constexpr std::uint16_t kWrongParameters = 0x6A86;
constexpr std::uint16_t kInsNotSupported = 0x6D00;
constexpr std::uint16_t kClassNotSupported = 0x6E00;

inline void append_status(Bytes& answer, std::uint16_t status)
{
    answer.push_back(static_cast<std::uint8_t>(status >> 8));
    answer.push_back(static_cast<std::uint8_t>(status));
}

inline Bytes status_only(std::uint16_t status)
{
    Bytes answer;
    append_status(answer, status);
    return answer;
}

}  // namespace sim::iso
