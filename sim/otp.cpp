#include "otp.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace sim {

std::uint32_t truncated_hmac(OtpHash hash, const Bytes& secret, std::uint64_t counter)
{
    QByteArray message(8, '\0');
    for (int i = 0; i < 8; ++i)
        message[i] = static_cast<char>(counter >> (56 - 8 * i));

    const auto algorithm = hash == OtpHash::Sha256 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
    const QByteArray key(reinterpret_cast<const char*>(secret.data()), static_cast<int>(secret.size()));
    const QByteArray digest = QMessageAuthenticationCode::hash(message, key, algorithm);

    const auto byte = [&digest](int index) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(digest[index]));
    };
    const int offset = static_cast<int>(byte(digest.size() - 1) & 0x0F);
    return (byte(offset) & 0x7F) << 24 | byte(offset + 1) << 16 | byte(offset + 2) << 8 | byte(offset + 3);
}

}  // namespace sim
