#pragma once

#include "usbkey.h"

#include <QString>

#include <optional>
#include <vector>

// The token information dialog's text for the user record of serial, or nothing when the token
// has no record for it.
std::optional<QString> format_token_info(const Bytes& serial, const std::vector<User>& users);
