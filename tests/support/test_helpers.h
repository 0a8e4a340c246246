#pragma once

#include "bytes.h"

#include <gtest/gtest.h>

#include <string>

inline Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The what() of the exception the call throws; a test failure when it throws nothing.
template <typename Exception, typename Call>
std::string expect_throw_text(Call call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}
