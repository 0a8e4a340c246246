#include "token_info_text.h"

#include "token.h"

#include <easylogging++.h>

#include <QCoreApplication>

#include <string>

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("TokenInfo", text);
}

}  // namespace

std::optional<QString> format_token_info(const Bytes& serial, const std::vector<User>& users)
{
    const User* user = token::find_user(users, serial);
    if (user == nullptr) {
        LOG(ERROR) << "Failed to find the user";
        return std::nullopt;
    }
    if (user->algorithm == 1)
        LOG(ERROR) << "HOTP is not supported.";
    return translated(QT_TRANSLATE_NOOP("TokenInfo", "Serial Number: ")) + QString::fromStdString(token::serial_text(serial)) + "\n" +
           translated(QT_TRANSLATE_NOOP("TokenInfo", "Algorithm: ")) + token::algorithm_name(user->algorithm) + "\n" +
           translated(QT_TRANSLATE_NOOP("TokenInfo", "Hash: ")) + token::hash_name(user->type) + "\n";
}
