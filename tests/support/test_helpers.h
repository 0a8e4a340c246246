#pragma once

#include "bytes.h"

#include <initializer_list>
#include <string>

inline Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
