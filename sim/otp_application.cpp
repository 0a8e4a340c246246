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

// A short command: four header bytes, then optionally Lc and that many bytes, then optionally Le.
std::optional<Command> parse_command(const Bytes& bytes)
{
    if (bytes.size() < 4)
        return std::nullopt;
    Command command{bytes[0], bytes[1], bytes[2], bytes[3], {}};
    if (bytes.size() == 4)
        return command;
    const std::size_t lc = bytes[4];
    const std::size_t rest = bytes.size() - 5;
    if (rest != lc && rest != lc + 1)
        return std::nullopt;
    command.data.assign(bytes.begin() + 5, bytes.begin() + 5 + static_cast<std::ptrdiff_t>(lc));
    return command;
}

bool is(const Command& command, std::uint8_t cla, std::uint8_t ins)
{
    return command.cla == cla && command.ins == ins;
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

Bytes calculate(std::vector<SimUser>& users, std::size_t active, const Bytes& data)
{
    const std::optional<std::vector<Tlv>> tlvs = parse_tlvs(data);
    if (!tlvs)
        return iso::status_only(iso::kWrongLength);
    const Bytes* time = nullptr;
    const Bytes* serial = nullptr;
    for (const Tlv& tlv : *tlvs) {
        const Bytes** slot = tlv.tag == kTagTime ? &time : tlv.tag == kTagUser ? &serial : nullptr;
        if (slot == nullptr || *slot != nullptr)
            return iso::status_only(iso::kWrongSyntax);
        *slot = &tlv.value;
    }
    if (serial == nullptr)
        return iso::status_only(iso::kWrongSyntax);
    SimUser* user = find_user(users, active, *serial);
    if (user == nullptr)
        return iso::status_only(iso::kNoSuchObject);

    std::uint64_t factor = 0;
    if (user->algorithm == OtpAlgorithm::Totp) {
        if (time == nullptr || time->size() != kTimeSize)
            return iso::status_only(iso::kWrongSyntax);
        for (std::uint8_t byte : *time)
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
std::optional<std::pair<Bytes, Bytes>> parse_personalisation(const Bytes& data)
{
    if (data.size() < 2 || data[0] != kTagSettings || data[1] < 2)
        return std::nullopt;
    const std::size_t settings_end = 2 + 3 + (data[1] - 2u);
    if (data.size() < settings_end + 2 || data[settings_end] != kTagUser ||
        data.size() != settings_end + 2 + data[settings_end + 1])
        return std::nullopt;
    const auto user = data.begin() + static_cast<std::ptrdiff_t>(settings_end + 2);
    return std::make_pair(Bytes(data.begin() + 2, user - 2), Bytes(user, data.end()));
}

}  // namespace

bool SimToken::is_select(const Bytes& command)
{
    return command.size() >= 2 && command[0] == kClassIso && command[1] == kInsSelect;
}

std::uint16_t SimToken::check_select(const Bytes& bytes)
{
    const std::optional<Command> command = parse_command(bytes);
    if (!command)
        return iso::kWrongLength;
    if (command->p1 != kSelectByName || !std::equal(command->data.begin(), command->data.end(),
                                                    kApplicationId.begin(), kApplicationId.end()))
        return iso::kNotFound;
    return iso::kSuccess;
}

bool SimToken::waits_for_press(const Flash& flash, const Bytes& command)
{
    return flash.press_mode && command.size() >= 2 && command[0] == kClassIso &&
           (command[1] == kInsCalculate || command[1] == kInsListUsers);
}

Bytes SimToken::run_command(Flash& flash, const Bytes& bytes)
{
    const std::optional<Command> command = parse_command(bytes);
    if (!command)
        return iso::status_only(iso::kWrongLength);

    if (is(*command, kClassIso, kInsGetActive))
        return active_serial(flash.users, flash.active_user);
    if (is(*command, kClassIso, kInsListUsers))
        return list_users(flash.users);
    if (is(*command, kClassIso, kInsCalculate))
        return calculate(flash.users, flash.active_user, command->data);
    if (is(*command, kClassProprietary, kInsPressMode) && command->p1 == kPressModeP1 &&
        command->p2 == kPressModeP2) {
        if (command->data.size() != 1)
            return iso::status_only(iso::kWrongLength);
        if (command->data[0] > 1)
            return iso::status_only(iso::kWrongSyntax);
        flash.press_mode = command->data[0] == 1;
        return iso::status_only(iso::kSuccess);
    }
    if (is(*command, kClassIso, kInsPersonalise)) {
        std::optional<std::pair<Bytes, Bytes>> fields = parse_personalisation(command->data);
        if (!fields)
            return iso::status_only(iso::kWrongLength);
        flash.personalisation = std::move(fields);
        return iso::status_only(iso::kSuccess);
    }
    return iso::status_only(iso::kInsNotSupported);
}

}  // namespace sim
