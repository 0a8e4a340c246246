#pragma once

#include "bytes.h"

#include <cstdint>
#include <string>

// The independent implementation the token's codes must agree with.
std::string oathtool(const std::string& arguments);

// Lower-case hex without separators, as oathtool takes a secret.
std::string hex(const Bytes& bytes);
