#pragma once

#include "bytes.h"

#include <cstdint>

// A command with no data (get active, list user info): the five header bytes alone.
class ProtocolBody {
public:
    virtual ~ProtocolBody() = default;

    virtual void serialize(Bytes& out) const;

    void setup_get_active();
    void setup_list_user_info();

protected:
    std::uint8_t cla = 0x00;
    std::uint8_t ins = 0x00;
    std::uint8_t p1 = 0x00;
    std::uint8_t p2 = 0x00;
    std::uint8_t lc = 0x00;
};

// Calculate OTP: header, time block "T", user block "Q".
class ProtocolBodyOfCalHcode : public ProtocolBody {
public:
    void serialize(Bytes& out) const override;
    // time may be null: the body then carries an empty time block.
    virtual void setup(Bytes user, const Bytes* time);

private:
    std::uint8_t t_tag = 0x54;
    std::uint8_t t_len = 0;
    Bytes t_data;
    std::uint8_t q_tag = 0x51;
    std::uint8_t q_len = 0;
    Bytes q_data;
};

// Personalisation carries a header of its own; the inherited header stays zero and is not sent.
class ProtocolBodyOfPersonlization : public ProtocolBody {
public:
    void serialize(Bytes& out) const override;
    virtual void setup(std::uint8_t param1, std::uint8_t param2, std::uint8_t param3,
                       const Bytes settings, const Bytes user);

private:
    std::uint8_t cla = 0x00;
    std::uint8_t ins = 0x00;
    std::uint8_t p1 = 0x00;
    std::uint8_t p2 = 0x00;
    std::uint8_t lc = 0x00;
    std::uint8_t s_tag = 0x53;
    std::uint8_t s_len = 0;
    std::uint8_t param1 = 0;
    std::uint8_t param2 = 0;
    std::uint8_t param3 = 0;
    std::uint8_t q_tag = 0x51;
    std::uint8_t q_len = 0;
    Bytes s_data;
    Bytes q_data;
};

class ProtocolBodyOfSwitchPressModeOn : public ProtocolBody {
public:
    void serialize(Bytes& out) const override;
};

class ProtocolBodyOfSwitchPressModeOff : public ProtocolBody {
public:
    void serialize(Bytes& out) const override;
};
