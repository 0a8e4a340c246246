#pragma once

#include "bytes.h"
#include "hid.h"

#include <initializer_list>
#include <memory>
#include <string>

inline Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The first token that discovery finds, as the application takes it.
inline std::shared_ptr<U2FUsbKey> first_key()
{
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    return keys.at(0);
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
