#pragma once

#include "bytes.h"

#include <cstdint>
#include <vector>

// The codes an independent implementation (oathtool) gives for `count` windows from the one
// holding `first`, asked for in one call. Empty when oathtool cannot be run.
std::vector<int> oathtool_codes(const Bytes& secret, int digits, std::int64_t first, int count);
