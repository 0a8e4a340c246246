#pragma once

#include "u2f_usbkey.h"

#include <cstdint>
#include <memory>
#include <vector>

// The USB vendor id of Orvandel tokens.
constexpr std::uint16_t kOrvandelVendorId = 0x096E;

// Key discovery: opens every collection of the vendor, in enumeration order.
class HID {
public:
    // Appends one key per collection that opens; the list is not cleared first.
    void find_device(std::uint16_t vendor_id, std::vector<std::shared_ptr<U2FUsbKey>>& u2f_keys);
};
