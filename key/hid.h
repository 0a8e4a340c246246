#pragma once

#include "hid_access.h"
#include "u2f_usbkey.h"

#include <cstdint>
#include <memory>
#include <vector>

// The USB vendor id of Orvandel tokens.
constexpr std::uint16_t kOrvandelVendorId = 0x096E;
// Only the collection on this usage page speaks U2F HID; a token may list others beside it.
constexpr std::uint16_t kFidoUsagePage = 0xF1D0;

// Which of a vendor's collections discovery opens: those on the FIDO usage page where the
// platform names one, else every one, since not every platform lists usage pages.
class CollectionChoice {
public:
    CollectionChoice(const hidaccess::hid_device_info* devices, std::uint16_t vendor_id);
    bool tries(const hidaccess::hid_device_info& info) const;
    bool fido_listed() const { return fido; }

private:
    std::uint16_t vendor_id;
    bool fido = false;
};

// Key discovery: opens the collections CollectionChoice picks, in enumeration order.
class HID {
public:
    // Appends one key per collection that opens; the list is not cleared first.
    void find_device(std::uint16_t vendor_id, std::vector<std::shared_ptr<U2FUsbKey>>& u2f_keys);
};
