#pragma once

#include "bytes.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace sim {

enum class OtpAlgorithm : std::uint8_t { Hotp = 1, Totp = 2 };
enum class OtpHash : std::uint8_t { Sha1 = 1, Sha256 = 2 };

// One user record stored in the token.
struct SimUser {
    Bytes serial_number;
    OtpAlgorithm algorithm = OtpAlgorithm::Totp;
    OtpHash hash = OtpHash::Sha1;
    Bytes secret;
    int digits = 6;
    std::uint64_t hotp_counter = 0;  // next HOTP moving factor
};

using Milliseconds = std::chrono::milliseconds;

// A software token that speaks FIDO U2F HID on 64-byte reports and the OTP application
// inside MSG. Thread-safe: the host side reads and writes from a worker while a test
// presses the button, unplugs it or injects faults.
class SimToken {
public:
    SimToken();

    // Users. The active user is the one get active reports and calculate looks up first.
    void add_user(SimUser user);
    void set_active_user(std::size_t index);
    std::vector<SimUser> users() const;

    // Press mode: while on, calculate and list user info wait for the button.
    bool press_mode() const;
    void set_press_mode(bool on);
    void set_press_wait(Milliseconds wait);           // answered 69 84 when nobody pressed in time
    void press_button();                              // presses for the request waiting now, or the next one
    void set_auto_press(std::optional<Milliseconds> after);  // presses by itself this long after a wait starts

    // Faults on demand. "next" faults apply once, to the next answer they fit.
    void set_answer_delay(Milliseconds delay);        // every answer becomes readable this much later
    void set_silent(bool silent);                     // requests are taken but never answered
    void corrupt_next_nonce();                        // next INIT answer echoes a different nonce
    void answer_next_command_with(std::uint8_t sw1, std::uint8_t sw2);  // next application command: this status word, no data
    void lie_next_length(std::uint8_t length);        // next MSG answer: this U2F byte count low byte, data unchanged
    void drop_next_continuation();                    // next multi-report answer: every continuation report is lost
    void pad_next_answer(std::size_t extra_bytes);    // next MSG answer: data grows by this many bytes before the status word
    void shorten_next_report(std::size_t length);     // next report read by the host is cut to this many bytes
    void queue_stale_reports(int count);              // junk input reports waiting before the next request
    void set_refuse_select(bool refuse);              // SELECT answers 6A 82 and the channel stays unselected

    // What the token saw: every output report (report id first) in arrival order.
    std::vector<Bytes> received_reports() const;
    // Every application command received in MSG on a selected channel, SELECT excluded.
    std::vector<Bytes> received_commands() const;
    // Last personalisation request's fields, for tests: p1 p2 p3 then settings, and the user block.
    std::optional<std::pair<Bytes, Bytes>> last_personalisation() const;

    // Device side, for the bus. A power cycle clears channels, queued reports and pending waits.
    int write_report(const std::uint8_t* report, std::size_t length);
    int read_report(std::uint8_t* data, std::size_t length, int timeout_ms);
    void power_cycle();

private:
    // Implementation's choice.
};

}  // namespace sim
