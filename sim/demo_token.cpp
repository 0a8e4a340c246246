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

    token->add_user({ascii("SIM0000001"), OtpAlgorithm::Totp, OtpHash::Sha1, ascii("12345678901234567890"), 6});
    token->add_user({ascii("SIM0000002"), OtpAlgorithm::Hotp, OtpHash::Sha256,
                     ascii("12345678901234567890123456789012"), 8});
    token->set_active_user(0);
    token->set_auto_press(Milliseconds(2000));
    return token;
}

}  // namespace sim
