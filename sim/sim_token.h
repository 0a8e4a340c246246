#pragma once

#include "bytes.h"
#include "report_fanout.h"
#include "u2f_frames.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
// inside MSG. Like a real one it handles one transaction at a time: while a command waits
// for the button or hangs, every request on another channel, broadcast INIT included, gets
// ERROR CHANNEL_BUSY, and only INIT on the busy channel drops that command. Thread-safe: the
// host side reads and writes from a worker while a test presses the button, unplugs it or
// injects faults.
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

    // Faults on demand (fault_switches.cpp). "next" faults apply once, to the next answer they fit.
    void set_answer_delay(Milliseconds delay);        // every answer becomes readable this much later
    void set_silent(bool silent);                     // requests are taken but never answered
    void corrupt_next_nonce();                        // next INIT answer echoes a different nonce
    void answer_next_command_with(std::uint8_t sw1, std::uint8_t sw2);  // next application command: this status word, no data
    void lie_next_length(std::uint8_t length);        // next MSG answer: this U2F byte count low byte, data unchanged
    void drop_next_continuation();                    // next multi-report answer: every continuation report is lost
    void pad_next_answer(std::size_t extra_bytes);    // next MSG answer: data grows by this many bytes before the status word
    void pad_next_select(std::size_t extra_bytes);    // the same for the next SELECT's answer
    void shorten_next_report(std::size_t length);     // next report read by the host is cut to this many bytes
    void queue_stale_reports(int count);              // junk input reports waiting before the next request
    void set_refuse_select(bool refuse);              // SELECT answers 6A 82 and the channel stays unselected
    void delay_next_continuation(Milliseconds delay); // next multi-report answer: its continuation reports come this much later
    // Next application command is taken and never answered; the token stays busy with its channel
    // until INIT there resynchronises it, whose answer then comes resync_takes later.
    void hang_next_command(Milliseconds resync_takes = Milliseconds{0});

    // Traffic nobody asked for, as other programs using the same token cause it.
    void send_foreign_init_answer_before_next();      // next INIT answer is preceded by one for another program (another nonce)
    void send_foreign_answer_before_next();           // next command's answer is preceded by another channel's MSG answer
    void set_keepalive_during_press(bool on);         // KEEPALIVE on the waiting channel every 100 ms of a press wait
    void answer_next_probe_late(Milliseconds delay);  // next all-zero report gets ERROR INVALID_CID on channel 0, this much later

    // What the token saw: every output report (report id first) in arrival order.
    std::vector<Bytes> received_reports() const;
    // Every application command received in MSG on a selected channel, SELECT excluded.
    std::vector<Bytes> received_commands() const;
    // Forgets what it saw, so a long run does not keep every report it was ever sent.
    void forget_received();
    // Last personalisation request's fields, for tests: p1 p2 p3 then settings, and the user block.
    std::optional<std::pair<Bytes, Bytes>> last_personalisation() const;

    // Device side, for the bus. Every reader (an open handle) gets its own copy of each input
    // report. write_report takes what the bus accepted: report id 0 and 64 bytes. A power
    // cycle clears channels, queued reports and the pending wait or hang.
    int open_reader();
    void close_reader(int reader);
    int write_report(const std::uint8_t* report, std::size_t length);
    int read_report(int reader, std::uint8_t* data, std::size_t length, int timeout_ms);
    void power_cycle();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr Milliseconds kKeepAliveInterval{100};

    // What survives a power cycle: the token keeps it in flash.
    struct Flash {
        std::vector<SimUser> users;
        std::size_t active_user = 0;
        bool press_mode = false;
        std::optional<std::pair<Bytes, Bytes>> personalisation;
    };
    // A request that spans several reports, collected until complete.
    struct Reassembly {
        std::uint8_t command = 0;
        std::size_t length = 0;
        std::uint8_t next_sequence = 0;
        Bytes data;
    };
    struct Channel {
        std::uint32_t id = 0;
        bool selected = false;
        std::optional<Reassembly> pending;
    };
    struct QueuedReport {
        Bytes report;
        Clock::time_point available;
    };
    // One-shot faults that shape a MSG answer, taken when its request arrives.
    struct AnswerFaults {
        std::optional<std::uint8_t> length;
        std::size_t padding = 0;
    };
    struct PressWait {
        std::uint32_t channel = 0;
        Bytes command;
        AnswerFaults faults;
        Clock::time_point deadline;
        std::optional<Clock::time_point> auto_press;
        Clock::time_point next_keepalive;

        bool pressed() const { return auto_press && *auto_press <= deadline; }
        Clock::time_point ends() const { return pressed() ? *auto_press : deadline; }
    };
    struct Hang {
        std::uint32_t channel = 0;
        Milliseconds resync_takes{0};
        std::optional<Clock::time_point> resynchronised;  // when the INIT echo goes out and the token is free
    };

    // U2F HID transport (u2f_transport.cpp).
    void receive_init(const u2f::Packet& packet, Clock::time_point now);
    void receive_continuation(const u2f::Packet& packet, Clock::time_point now);
    void dispatch(Channel& channel, std::uint8_t command, const Bytes& payload, Clock::time_point now);
    void answer_init(std::uint32_t reply_channel, const Bytes& nonce, std::uint32_t new_channel, Clock::time_point now);
    void answer_msg(Channel& channel, const Bytes& command, Clock::time_point now);
    void answer_error(std::uint32_t channel, std::uint8_t error, Clock::time_point now);
    std::optional<std::uint32_t> busy_channel() const;
    bool refuse_when_busy(std::uint32_t channel, Clock::time_point now);
    Clock::time_point resynchronise(Clock::time_point now);
    Channel* find_channel(std::uint32_t id);
    std::uint32_t allocate_channel();
    AnswerFaults take_answer_faults();  // fault_switches.cpp

    // The press wait ends by itself (auto press, timeout) and is settled lazily by whichever
    // call comes next, const ones included, as are the end of a late resynchronisation,
    // keepalives and the hand-over of scheduled reports to the readers; so no timer thread,
    // and what settling touches is mutable.
    void settle(Clock::time_point now) const;
    void send_keepalives(Clock::time_point until) const;
    void deliver(Clock::time_point now) const;
    void finish_wait(const PressWait& wait, bool pressed, Clock::time_point at) const;
    void queue_msg_answer(std::uint32_t channel, Bytes answer, const AnswerFaults& faults, Clock::time_point at) const;
    void queue_answer(std::vector<Bytes> reports, Clock::time_point at) const;
    void queue_report(Bytes report, Clock::time_point available) const;
    std::optional<Clock::time_point> next_event() const;

    // The OTP application inside MSG (otp_application.cpp); answers are data plus status word.
    static bool is_select(const Bytes& command);
    // Success for a well-formed request, else the status word that refuses it.
    static std::uint16_t check_request(const Bytes& command);
    static bool waits_for_press(const Flash& flash, const Bytes& command);
    // For a request that check_request accepted.
    static Bytes run_command(Flash& flash, const Bytes& command);

    mutable std::mutex mutex;
    mutable std::condition_variable queue_changed;
    mutable Flash flash;
    mutable std::deque<QueuedReport> scheduled;  // ordered by available time, not yet with the readers
    mutable ReportFanout readers;
    mutable std::optional<PressWait> wait;
    mutable std::optional<Hang> hang;
    mutable bool drop_continuation = false;
    mutable std::optional<Milliseconds> continuation_delay;

    std::deque<Channel> channels;  // oldest first
    std::uint32_t channels_allocated = 0;
    bool button_pressed = false;   // a press that no wait has taken yet
    Milliseconds press_wait{3000};
    std::optional<Milliseconds> auto_press;
    Milliseconds answer_delay{0};
    bool silent = false;
    bool refuse_select = false;
    bool corrupt_nonce = false;
    std::optional<std::pair<std::uint8_t, std::uint8_t>> forced_status;
    std::optional<std::uint8_t> lied_length;
    std::size_t padding = 0;
    std::size_t select_padding = 0;
    std::optional<std::size_t> short_report;
    std::optional<Milliseconds> hang_next;  // its resync_takes
    bool foreign_init_answer = false;
    bool foreign_answer = false;
    bool keepalive_during_press = false;
    std::optional<Milliseconds> late_probe_answer;
    std::vector<Bytes> reports_received;
    std::vector<Bytes> commands_received;
};

}  // namespace sim
