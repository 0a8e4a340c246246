#include "protocol_body.h"

#include <easylogging++.h>

namespace {

// Length bytes hold only the low eight bits of what they describe.
std::uint8_t low_byte(std::size_t length)
{
    return static_cast<std::uint8_t>(length % 256);
}

void append(Bytes& out, const Bytes& block)
{
    out.insert(out.end(), block.begin(), block.end());
}

}  // namespace

void ProtocolBody::serialize(Bytes& out) const
{
    out.insert(out.end(), {cla, ins, p1, p2, lc});
}

void ProtocolBody::setup_get_active()
{
    LOG(INFO) << "[protocol] get active";
    ins = 0xE6;
}

void ProtocolBody::setup_list_user_info()
{
    LOG(INFO) << "[protocol] list user info";
    ins = 0x17;
}

void ProtocolBodyOfCalHcode::serialize(Bytes& out) const
{
    ProtocolBody::serialize(out);
    out.insert(out.end(), {t_tag, t_len});
    append(out, t_data);
    out.insert(out.end(), {q_tag, q_len});
    append(out, q_data);
}

void ProtocolBodyOfCalHcode::setup(Bytes user, const Bytes* time)
{
    ins = 0xA2;
    p1 = 0x01;
    if (time != nullptr)
        t_data = *time;
    q_data = std::move(user);
    q_len = low_byte(q_data.size());
    t_len = low_byte(t_data.size());
    lc = low_byte(t_len + 4 + q_len);
}

void ProtocolBodyOfPersonlization::serialize(Bytes& out) const
{
    out.insert(out.end(), {cla, ins, p1, p2, lc, s_tag, s_len, param1, param2, param3});
    append(out, s_data);
    out.insert(out.end(), {q_tag, q_len});
    append(out, q_data);
}

void ProtocolBodyOfPersonlization::setup(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                         const Bytes settings, const Bytes user)
{
    LOG(INFO) << "[protocol] personlization";
    ins = 0x09;
    param1 = first;
    param2 = second;
    param3 = third;
    s_data = settings;
    q_data = user;
    q_len = low_byte(q_data.size());
    // The token expects +2 here although three parameter bytes precede the settings.
    s_len = low_byte(s_data.size() + 2);
    lc = low_byte(s_data.size() + q_data.size() + 7);
}

void ProtocolBodyOfSwitchPressModeOn::serialize(Bytes& out) const
{
    out.insert(out.end(), {0x80, 0xE1, 0x05, 0x02, 0x01, 0x01});
}

void ProtocolBodyOfSwitchPressModeOff::serialize(Bytes& out) const
{
    out.insert(out.end(), {0x80, 0xE1, 0x05, 0x02, 0x01, 0x00});
}
