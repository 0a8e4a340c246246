#include "token_info_text.h"

#include <easylogging++.h>

#include <QCoreApplication>

#include <algorithm>
#include <string>

namespace {

const char* algorithm_name(std::int32_t algorithm)
{
    switch (algorithm) {
    case 1: return "HOTP";
    case 2: return "TOTP";
    default: return "";
    }
}

const char* hash_name(std::int32_t type)
{
    switch (type) {
    case 1: return "SHA-1";
    case 2: return "SHA-256";
    default: return "";
    }
}

QString translated(const char* text)
{
    return QCoreApplication::translate("TokenInfo", text);
}

}  // namespace

QString serial_text(const Bytes& serial)
{
    return QString::fromStdString(std::string(serial.begin(), serial.end()));
}

std::optional<QString> format_token_info(const Bytes& serial, const std::vector<User>& users)
{
    const auto user = std::find_if(users.begin(), users.end(),
                                   [&serial](const User& candidate) { return candidate.serial_number == serial; });
    if (user == users.end()) {
        LOG(ERROR) << "Failed to find the user";
        return std::nullopt;
    }
    if (user->algorithm == 1)
        LOG(ERROR) << "HOTP is not supported.";
    return translated(QT_TRANSLATE_NOOP("TokenInfo", "Serial Number: ")) + serial_text(serial) + "\n" +
           translated(QT_TRANSLATE_NOOP("TokenInfo", "Algorithm: ")) + algorithm_name(user->algorithm) + "\n" +
           translated(QT_TRANSLATE_NOOP("TokenInfo", "Hash: ")) + hash_name(user->type) + "\n";
}
