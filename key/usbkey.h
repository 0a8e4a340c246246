#pragma once

#include "bytes.h"
#include "hid_access.h"
#include "protocol_body.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// The token's record of one stored user.
struct User {
    Bytes serial_number;
    std::int32_t algorithm = 0;  // 1 HOTP, 2 TOTP
    std::int32_t type = 0;       // 1 SHA-1, 2 SHA-256
};

// A key knows the token's commands; a subclass supplies the transport. Not safe for
// concurrent use: its owner serialises every call.
class UsbKey {
public:
    using Clock = std::chrono::steady_clock;

    explicit UsbKey(hidaccess::hid_device* handle);
    virtual ~UsbKey();
    UsbKey(const UsbKey&) = delete;
    UsbKey& operator=(const UsbKey&) = delete;

    virtual void send_command(const std::uint8_t* data, std::uint32_t length, Bytes& response) = 0;
    virtual void op_get_active(Bytes& serial);
    virtual void op_get_user_info(std::vector<User>& users);
    virtual void op_personlization(std::uint8_t param1, std::uint8_t param2, std::uint8_t param3,
                                   const Bytes& settings, const Bytes& user);
    // time: seconds since the Unix epoch inside the wanted window; absent means now.
    virtual std::uint32_t op_get_otp(const Bytes& serial, std::int32_t& digits,
                                     std::optional<std::int64_t> time = std::nullopt);
    virtual void combine_send(ProtocolBody& body, Bytes& data, Bytes& code);
    // Leaves *header null: the frame goes out without a transport header.
    virtual void prepare_header(std::uint8_t** header);
    virtual void check_resp_code(const Bytes& code);
    // Splits a response message into its data and status word; framed: with the U2F header,
    // whose two count bytes give the payload's length. Raises KeyAccessException for a message
    // that does not hold what its length says.
    static void split_answer(const Bytes& response, bool framed, Bytes& data, Bytes& code);
    // A write took effect only when the token said 90 00; check_resp_code lets status words
    // it does not know pass, which is right for a read's data but not for a write.
    static void check_write_resp_code(const Bytes& code);
    // time: seconds since the Unix epoch; absent means now.
    virtual void cal_hcode(const Bytes& serial, Bytes& response, std::optional<std::int64_t> time = std::nullopt);
    virtual std::uint32_t get_otp(const Bytes& response, std::int32_t& digits);
    virtual void close();
    virtual bool is_connected() = 0;
    virtual void switch_press_mode(bool on);

    // Ends a wait for the token's answer from another thread; the pending and every later
    // exchange fail with KeyAccessException, and is_connected answers false from then on.
    // For shutting a key down, not for retrying.
    void cancel();

    // Every exchange from now on ends by this time: an answer that has not come by then is
    // abandoned with KeyTimeoutException. None: the token may take as long as it likes.
    void set_deadline(std::optional<Clock::time_point> deadline) { answer_deadline = deadline; }

protected:
    hidaccess::hid_device* handle;
    std::optional<Clock::time_point> answer_deadline;
};
