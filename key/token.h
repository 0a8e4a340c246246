#pragma once

// A token as the window and the terminal use it: one function for each thing they ask of it,
// each ending in one Outcome, so that a key error means the same to both. Every exchange ends
// by its deadline: a request the token leaves unanswered is abandoned then, with the U2F HID
// resynchronisation of its channel, so the token is free for the next one.

#include "u2f_usbkey.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace token {

using Deadline = std::optional<UsbKey::Clock::time_point>;

enum class Status {
    Done,
    // The token answered 69 84: in press mode, nobody pressed its button.
    PressNeeded,
    // The token is busy with another program's request; the next attempt may well work.
    Busy,
    // Nothing came before the deadline; the request was abandoned on the token.
    NoAnswer,
    // The token cannot be reached any more, or its answer is malformed.
    Lost,
    // Any other refusal.
    Refused,
};

struct Outcome {
    Status status = Status::Done;
    std::string detail;  // the key error's text; empty when done

    bool done() const { return status == Status::Done; }
};

template <typename T>
struct Read {
    Outcome outcome;
    T value{};
};

struct Code {
    std::uint32_t value = 0;
    std::int32_t digits = 0;
    std::int64_t window = 0;
};

// The first token discovery opens, or null.
std::shared_ptr<U2FUsbKey> find();

Read<Bytes> read_serial(UsbKey& key, Deadline deadline);
// The code of the given window (otp_window numbering) for the user serial.
Read<Code> read_code(UsbKey& key, const Bytes& serial, std::int64_t window, Deadline deadline);
Read<std::vector<User>> read_users(UsbKey& key, Deadline deadline);
Outcome switch_press_mode(UsbKey& key, bool on, Deadline deadline);
// Whether the device still takes a report; never waits for the token's answer.
bool is_present(UsbKey& key);

// The code as the user types it: zero-padded to its digits.
std::string code_text(const Code& code);
// Serial numbers are one character per byte: read as Latin-1, returned as UTF-8, so no byte
// is lost or merged with its neighbour whatever the token stores.
std::string serial_text(const Bytes& serial);
// "HOTP", "TOTP"; "SHA-1", "SHA-256"; empty for a number the token should not give.
const char* algorithm_name(std::int32_t algorithm);
const char* hash_name(std::int32_t type);
// The record of serial, or null.
const User* find_user(const std::vector<User>& users, const Bytes& serial);

}  // namespace token
