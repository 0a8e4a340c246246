#pragma once

#include "hid.h"
#include "hid_access.h"
#include "sim_bus.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The RFC 6238 test secret, as the simulated users below carry it.
inline const std::string kSecret = "12345678901234567890";

// A simulated bus installed below the real access layer for as long as it lives, with one
// token (serial "ABC123", TOTP, SHA-1, 6 digits) plugged in.
struct SimulatedBus {
    SimulatedBus()
    {
        hidaccess::install_raw_device_io(bus);
        token_id = bus->plug(token);
    }
    ~SimulatedBus() { hidaccess::install_raw_device_io(nullptr); }

    static std::shared_ptr<sim::SimToken> make_token(const std::string& serial)
    {
        auto token = std::make_shared<sim::SimToken>();
        sim::SimUser user;
        user.serial_number = ascii(serial);
        user.secret = ascii(kSecret);
        token->add_user(user);
        return token;
    }

    std::shared_ptr<U2FUsbKey> first_key() const
    {
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        return keys.empty() ? nullptr : keys.front();
    }

    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> token = make_token("ABC123");
    int token_id = 0;
};

// What an independent implementation says the code of the window holding `time` is.
inline int oathtool_code(std::int64_t time)
{
    QByteArray hex;
    for (char c : kSecret)
        hex += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
    QProcess oathtool;
    oathtool.start("oathtool", {"--totp", "-d", "6", "-N", "@" + QString::number(time), QString::fromLatin1(hex)});
    if (!oathtool.waitForFinished(10000) || oathtool.exitCode() != 0)
        return -1;
    return oathtool.readAllStandardOutput().trimmed().toInt();
}
