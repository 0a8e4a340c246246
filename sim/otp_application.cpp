#include "sim_token.h"

#include "iso7816.h"
#include "otp.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sim {

namespace {

constexpr std::uint8_t kClassIso = 0x00;
constexpr std::uint8_t kClassProprietary = 0x80;
constexpr std::uint8_t kInsSelect = 0xA4;
constexpr std::uint8_t kInsGetActive = 0xE6;
constexpr std::uint8_t kInsListUsers = 0x17;
constexpr std::uint8_t kInsCalculate = 0xA2;
constexpr std::uint8_t kInsPressMode = 0xE1;
constexpr std::uint8_t kInsPersonalise = 0x09;
constexpr std::uint8_t kSelectByName = 0x04;
constexpr std::uint8_t kPressModeP1 = 0x05;
constexpr std::uint8_t kPressModeP2 = 0x02;

constexpr std::uint8_t kTagUser = 0x51;
constexpr std::uint8_t kTagUserRecord = 0x52;
constexpr std::uint8_t kTagSettings = 0x53;
constexpr std::uint8_t kTagTime = 0x54;
constexpr std::size_t kTimeSize = 8;

constexpr std::array<std::uint8_t, 9> kApplicationId = {0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01};

struct Command {
    std::uint8_t cla = 0;
    std::uint8_t ins = 0;
    std::uint8_t p1 = 0;
    std::uint8_t p2 = 0;
    Bytes data;
};

// The class byte and parameters each instruction takes; the host never sends Le.
struct Rule {
    std::uint8_t ins;
    std::uint8_t cla;
    std::uint8_t p1;
    std::uint8_t p2;
};

constexpr Rule kRules[] = {
    {kInsSelect, kClassIso, kSelectByName, 0x00},
    {kInsGetActive, kClassIso, 0x00, 0x00},
    {kInsListUsers, kClassIso, 0x00, 0x00},
    {kInsCalculate, kClassIso, 0x01, 0x00},
    {kInsPressMode, kClassProprietary, kPressModeP1, kPressModeP2},
    {kInsPersonalise, kClassIso, 0x00, 0x00},
};

// Header and Lc only; the data is the instruction's to check.
std::uint16_t check_header(const Bytes& bytes)
{
    if (bytes.size() < 5)
        return iso::kWrongLength;
    const std::uint8_t cla = bytes[0];
    if (cla != kClassIso && cla != kClassProprietary)
        return iso::kClassNotSupported;
    const auto rule = std::find_if(std::begin(kRules), std::end(kRules),
                                   [&bytes](const Rule& candidate) { return candidate.ins == bytes[1]; });
    if (rule == std::end(kRules))
        return iso::kInsNotSupported;
    if (cla != rule->cla)
        return iso::kClassNotSupported;
    if (bytes[2] != rule->p1 || bytes[3] != rule->p2)
        return iso::kWrongParameters;
    if (bytes.size() != 5u + bytes[4])
        return iso::kWrongLength;
    return iso::kSuccess;
}

// For a request whose header check_header accepted.
Command decode(const Bytes& bytes)
{
    return Command{bytes[0], bytes[1], bytes[2], bytes[3], Bytes(bytes.begin() + 5, bytes.end())};
}

struct Tlv {
    std::uint8_t tag = 0;
    Bytes value;
};

// Null when a length runs past the end of the data.
std::optional<std::vector<Tlv>> parse_tlvs(const Bytes& data)
{
    std::vector<Tlv> tlvs;
    std::size_t p = 0;
    while (p < data.size()) {
        if (data.size() - p < 2 || data.size() - p - 2 < data[p + 1])
            return std::nullopt;
        const auto value = data.begin() + static_cast<std::ptrdiff_t>(p + 2);
        tlvs.push_back(Tlv{data[p], Bytes(value, value + data[p + 1])});
        p += 2 + data[p + 1];
    }
    return tlvs;
}

// The active user is looked at first, so it wins when two users share a serial number.
SimUser* find_user(std::vector<SimUser>& users, std::size_t active, const Bytes& serial)
{
    if (active < users.size() && users[active].serial_number == serial)
        return &users[active];
    const auto found = std::find_if(users.begin(), users.end(),
                                    [&serial](const SimUser& user) { return user.serial_number == serial; });
    return found != users.end() ? &*found : nullptr;
}

Bytes active_serial(const std::vector<SimUser>& users, std::size_t active)
{
    if (active >= users.size())
        return iso::status_only(iso::kNoSuchObject);
    Bytes answer = users[active].serial_number;
    iso::append_status(answer, iso::kSuccess);
    return answer;
}

Bytes list_users(const std::vector<SimUser>& users)
{
    Bytes answer;
    for (const SimUser& user : users) {
        answer.push_back(kTagUserRecord);
        answer.push_back(static_cast<std::uint8_t>(1 + user.serial_number.size()));
        answer.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(user.algorithm) << 4 |
                                                   static_cast<std::uint8_t>(user.hash)));
        answer.insert(answer.end(), user.serial_number.begin(), user.serial_number.end());
    }
    iso::append_status(answer, iso::kSuccess);
    return answer;
}

// 54 Lt time 51 Lq serial, in this order and nothing else; Lt is 0 or 8.
std::uint16_t check_calculate(const Bytes& data)
{
    const std::optional<std::vector<Tlv>> tlvs = parse_tlvs(data);
    if (!tlvs)
        return iso::kWrongLength;
    if (tlvs->size() != 2 || (*tlvs)[0].tag != kTagTime || (*tlvs)[1].tag != kTagUser)
        return iso::kWrongSyntax;
    const std::size_t time_size = (*tlvs)[0].value.size();
    if (time_size != 0 && time_size != kTimeSize)
        return iso::kWrongLength;
    return iso::kSuccess;
}

Bytes calculate(std::vector<SimUser>& users, std::size_t active, const Bytes& data)
{
    const std::vector<Tlv> tlvs = *parse_tlvs(data);
    const Bytes& time = tlvs[0].value;
    SimUser* user = find_user(users, active, tlvs[1].value);
    if (user == nullptr)
        return iso::status_only(iso::kNoSuchObject);

    std::uint64_t factor = 0;
    if (user->algorithm == OtpAlgorithm::Totp) {
        if (time.empty())
            return iso::status_only(iso::kWrongSyntax);
        for (std::uint8_t byte : time)
            factor = factor << 8 | byte;
    } else {
        factor = user->hotp_counter++;
    }

    // The full 31-bit value goes out; the host reduces it to the digits it shows.
    const std::uint32_t value = truncated_hmac(user->hash, user->secret, factor);
    Bytes answer = {0x00, 0x00, static_cast<std::uint8_t>(user->digits)};
    for (int shift = 24; shift >= 0; shift -= 8)
        answer.push_back(static_cast<std::uint8_t>(value >> shift));
    iso::append_status(answer, iso::kSuccess);
    return answer;
}

// 53, Ls, p1 p2 p3, Ls - 2 settings bytes, 51, Lq, Lq user bytes. Ls counts two bytes fewer
// than follow it: that is how the host sends it.
std::uint16_t check_personalisation(const Bytes& data)
{
    if (data.size() < 2 || data[1] < 2)
        return iso::kWrongLength;
    const std::size_t settings_end = 2 + 3 + (data[1] - 2u);
    if (data.size() < settings_end + 2 || data.size() != settings_end + 2 + data[settings_end + 1])
        return iso::kWrongLength;
    if (data[0] != kTagSettings || data[settings_end] != kTagUser)
        return iso::kWrongSyntax;
    return iso::kSuccess;
}

// For data that check_personalisation accepted: p1 p2 p3 and the settings, then the user block.
std::pair<Bytes, Bytes> personalisation_fields(const Bytes& data)
{
    const std::size_t settings_end = 2 + 3 + (data[1] - 2u);
    const auto user = data.begin() + static_cast<std::ptrdiff_t>(settings_end + 2);
    return std::make_pair(Bytes(data.begin() + 2, user - 2), Bytes(user, data.end()));
}

std::uint16_t check_data(const Command& command)
{
    switch (command.ins) {
    case kInsSelect:
        if (command.data.size() != kApplicationId.size())
            return iso::kWrongLength;
        return std::equal(command.data.begin(), command.data.end(), kApplicationId.begin()) ? iso::kSuccess
                                                                                            : iso::kNotFound;
    case kInsGetActive:
    case kInsListUsers:
        return command.data.empty() ? iso::kSuccess : iso::kWrongLength;
    case kInsCalculate:
        return check_calculate(command.data);
    case kInsPressMode:
        if (command.data.size() != 1)
            return iso::kWrongLength;
        return command.data[0] > 1 ? iso::kWrongSyntax : iso::kSuccess;
    case kInsPersonalise:
        return check_personalisation(command.data);
    default:
        return iso::kInsNotSupported;
    }
}

}  // namespace

bool SimToken::is_select(const Bytes& command)
{
    return command.size() >= 2 && command[0] == kClassIso && command[1] == kInsSelect;
}

std::uint16_t SimToken::check_request(const Bytes& bytes)
{
    const std::uint16_t header = check_header(bytes);
    return header != iso::kSuccess ? header : check_data(decode(bytes));
}

bool SimToken::waits_for_press(const Flash& flash, const Bytes& command)
{
    return flash.press_mode && command.size() >= 2 && command[0] == kClassIso &&
           (command[1] == kInsCalculate || command[1] == kInsListUsers);
}

Bytes SimToken::run_command(Flash& flash, const Bytes& bytes)
{
    const Command command = decode(bytes);
    switch (command.ins) {
    case kInsGetActive:
        return active_serial(flash.users, flash.active_user);
    case kInsListUsers:
        return list_users(flash.users);
    case kInsCalculate:
        return calculate(flash.users, flash.active_user, command.data);
    case kInsPressMode:
        flash.press_mode = command.data[0] == 1;
        return iso::status_only(iso::kSuccess);
    case kInsPersonalise:
        flash.personalisation = personalisation_fields(command.data);
        return iso::status_only(iso::kSuccess);
    default:
        return iso::status_only(iso::kInsNotSupported);
    }
}

}  // namespace sim
