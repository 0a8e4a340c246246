#include "demo_token.h"

#include <string>

namespace sim {

namespace {

Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

}  // namespace

std::shared_ptr<SimToken> make_demo_token()
{
    auto token = std::make_shared<SimToken>();

    SimUser totp;
    totp.serial_number = ascii("SIM0000001");
    totp.algorithm = OtpAlgorithm::Totp;
    totp.hash = OtpHash::Sha1;
    totp.secret = ascii("12345678901234567890");
    totp.digits = 6;
    token->add_user(std::move(totp));

    SimUser hotp;
    hotp.serial_number = ascii("SIM0000002");
    hotp.algorithm = OtpAlgorithm::Hotp;
    hotp.hash = OtpHash::Sha256;
    hotp.secret = ascii("12345678901234567890123456789012");
    hotp.digits = 8;
    token->add_user(std::move(hotp));

    token->set_active_user(0);
    token->set_auto_press(Milliseconds(2000));
    return token;
}

}  // namespace sim
