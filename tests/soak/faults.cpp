#include "faults.h"

#include "hid.h"
#include "otp.h"

#include <QClipboard>
#include <QGuiApplication>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr sim::Milliseconds kDefaultPressWait{3000};
// A report carries this many bytes of a message after its seven-byte header.
constexpr int kInitDataSize = 57;
// The INIT answer: header, nonce and channel, then versions and capabilities.
constexpr int kInitAnswerSize = 7 + 17;
constexpr int kInitChannelEnd = 7 + 12;

void no_fault(Rig& rig)
{
    rig.deliver();
    // The copy button: the code padded to its digits, no space.
    const QString text = QString::number(rig.expected_code()).rightJustified(rig.setup().digits, '0');
    rig.frame().copy_to_clipboard(text);
    rig.expect(QGuiApplication::clipboard()->text() == text, "the clipboard holds " + text.toStdString());
}

// A fault after which the window's read fails at every tick until the token is plugged back in.
void expect_access_error_until_replug(Rig& rig)
{
    rig.expect_error(kOtpAccessText);
    rig.tick_and_wait();
    rig.expect_error(kOtpAccessText);
    rig.replug_and_rescan();
    rig.deliver();
}

// The exchange failed as an access error, yet the token still works: the next tick's read does.
void expect_access_error_then_code(Rig& rig)
{
    rig.expect_error(kOtpAccessText);
    rig.deliver();
}

void unplug(Rig& rig)
{
    rig.unplug();
    rig.tick_and_wait();
    expect_access_error_until_replug(rig);
}

void unplug_before_serial_read(Rig& rig)
{
    rig.unplug();
    rig.replug_and_rescan();
    rig.unplug();
    rig.tick_and_wait();
    rig.expect_error(kSerialAccessText);
    rig.replug_and_rescan();
    rig.deliver();
}

void unplug_mid_exchange(Rig& rig)
{
    rig.token().set_answer_delay(sim::Milliseconds(rig.pick(20, 60)));
    const std::size_t before = rig.token().received_reports().size();
    rig.start_tick();
    // Pulled once the token has the request and before it answers.
    rig.wait_until([&] { return rig.token().received_reports().size() > before; }, "the request to reach the token");
    rig.unplug();
    rig.wait_for_worker();
    rig.token().set_answer_delay(0ms);
    expect_access_error_until_replug(rig);
}

void unplug_over_window_end(Rig& rig)
{
    rig.unplug();
    rig.tick_and_wait();
    rig.expect_error(kOtpAccessText);
    rig.unplugged = true;
}

// The first read has no time limit, so a token that never answers holds the worker until
// the token is pulled out.
void expect_wait_until_unplugged(Rig& rig)
{
    const Rig::Shown before = rig.shown();
    rig.start_tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(20, 100)));
    rig.expect(rig.model().is_worker_running(), "the worker still waits for the answer");
    rig.tick_expecting_nothing();
    rig.expect_unchanged(before);
    rig.unplug();
    rig.wait_for_worker();
}

void silence(Rig& rig)
{
    rig.token().set_silent(true);
    expect_wait_until_unplugged(rig);
    rig.token().set_silent(false);
    expect_access_error_until_replug(rig);
}

void rescan_while_silent(Rig& rig)
{
    // The rescan's probe never waits for the token: a worker that waits for it keeps the model.
    // Pulled out, the worker fails, and the next rescan finds no token: the no-key page.
    rig.token().set_silent(true);
    const std::size_t before = rig.token().received_reports().size();
    rig.start_tick();
    rig.wait_until([&] { return rig.token().received_reports().size() > before; }, "the request to reach the token");
    const int shown = rig.models_shown();
    const auto started = std::chrono::steady_clock::now();
    rig.rescan();
    rig.expect(std::chrono::steady_clock::now() - started < 200ms, "the rescan does not wait for the token");
    rig.expect(rig.models_shown() == shown, "a rescan keeps a token in use");
    rig.unplug();
    rig.wait_for_worker();
    rig.rescan();
    rig.expect(rig.frame().current_otp_status() == nullptr, "with the token out, no model is published");
    rig.token().set_silent(false);
    rig.replug_and_rescan();
    rig.deliver();
}

void empty_report(Rig& rig)
{
    // A report of no bytes cannot be told from no report: the answer is lost.
    rig.token().shorten_next_report(0);
    expect_wait_until_unplugged(rig);
    expect_access_error_until_replug(rig);
}

// The exchange fails with an error that leaves what is shown as it was; the next tick's read works.
void expect_unchanged_then_code(Rig& rig)
{
    const Rig::Shown before = rig.shown();
    rig.tick_and_wait();
    rig.expect_unchanged(before);
    rig.deliver();
}

void wrong_nonce(Rig& rig)
{
    rig.token().corrupt_next_nonce();
    expect_unchanged_then_code(rig);
}

void foreign_init_answer(Rig& rig)
{
    rig.token().send_foreign_init_answer_before_next();
    expect_unchanged_then_code(rig);
}

void foreign_msg_answer(Rig& rig)
{
    rig.token().send_foreign_answer_before_next();
    rig.deliver();
}

void stale_reports(Rig& rig)
{
    rig.token().queue_stale_reports(rig.pick(1, 8));
    rig.deliver();
}

void status_word(Rig& rig)
{
    struct Word {
        std::uint8_t sw1;
        std::uint8_t sw2;
    };
    static const Word words[] = {
        {0x69, 0x84}, {0x6A, 0x84}, {0x69, 0x82}, {0x6A, 0x80}, {0x65, 0x81}, {0x67, 0x00}, {0x69, 0x85},
        {0x6D, 0x00}, {0x61, 0x00}, {0x61, 0x1F}, {0x90, 0x00}, {0x6F, 0x00}, {0x63, 0xC1}, {0x6A, 0x82},
    };
    const Word word = words[rig.pick(0, static_cast<int>(std::size(words)) - 1)];
    rig.token().answer_next_command_with(word.sw1, word.sw2);
    if (word.sw1 == 0x69 && word.sw2 == 0x84) {
        rig.tick_and_wait();
        rig.expect_error(kPressText);
        rig.deliver();
        return;
    }
    // Refusals, 61 xx, and words no row knows (then the data, none, is no code) change nothing.
    expect_unchanged_then_code(rig);
}

// The calculate answer the token gives this window: reserved, digits, value, status word.
Bytes calculate_answer(Rig& rig)
{
    const std::uint32_t value = sim::truncated_hmac(sim::OtpHash::Sha1, rig.setup().secret, rig.window_counter());
    Bytes answer = {0x00, 0x00, static_cast<std::uint8_t>(rig.setup().digits)};
    for (int shift = 24; shift >= 0; shift -= 8)
        answer.push_back(static_cast<std::uint8_t>(value >> shift));
    answer.push_back(0x90);
    answer.push_back(0x00);
    answer.resize(kInitDataSize, 0x00);  // the rest of the report is zeros
    return answer;
}

void length_lie(Rig& rig)
{
    // The host takes the status word from the two bytes the length ends on.
    const int length = rig.pick(0, kInitDataSize);
    const Bytes answer = calculate_answer(rig);
    rig.token().lie_next_length(static_cast<std::uint8_t>(length));
    if (length < 2) {
        rig.tick_and_wait();
        expect_access_error_then_code(rig);
        return;
    }
    const std::uint8_t sw1 = answer[static_cast<std::size_t>(length - 2)];
    const std::uint8_t sw2 = answer[static_cast<std::size_t>(length - 1)];
    if (length == 9) {
        rig.deliver();
    } else if (sw1 == 0x69 && sw2 == 0x84) {
        rig.tick_and_wait();
        rig.expect_error(kPressText);
        rig.deliver();
    } else {
        // Cut into the value or running into the padding: never a code.
        expect_unchanged_then_code(rig);
    }
}

void length_lie_beyond_report(Rig& rig)
{
    // Waits its limit for continuations that never come, then finds the answer too short.
    rig.token().lie_next_length(static_cast<std::uint8_t>(rig.pick(kInitDataSize + 1, 255)));
    rig.tick_and_wait();
    expect_access_error_then_code(rig);
}

void padded_answer(Rig& rig)
{
    rig.token().pad_next_answer(static_cast<std::size_t>(rig.pick(1, 120)));
    expect_unchanged_then_code(rig);
}

void short_report(Rig& rig)
{
    const bool header_cut = rig.pick(0, 1) == 0;
    const int length = header_cut ? rig.pick(1, 6) : rig.pick(kInitAnswerSize, 64);
    rig.token().shorten_next_report(static_cast<std::size_t>(length));
    if (!header_cut) {
        rig.deliver();  // only padding was lost
        return;
    }
    rig.tick_and_wait();
    expect_access_error_then_code(rig);
}

void short_init_answer(Rig& rig)
{
    // Cut inside the INIT answer: the rest is waited for until the limit.
    const int length = rig.pick(7, kInitAnswerSize - 1);
    rig.token().shorten_next_report(static_cast<std::size_t>(length));
    if (length >= kInitChannelEnd) {
        rig.deliver();  // nonce and channel arrived
        return;
    }
    rig.tick_and_wait();
    expect_access_error_then_code(rig);
}

void refused_select(Rig& rig)
{
    rig.token().set_refuse_select(true);
    const Rig::Shown before = rig.shown();
    for (int i = rig.pick(1, 3); i > 0; --i) {
        rig.tick_and_wait();
        rig.expect_unchanged(before);
    }
    rig.token().set_refuse_select(false);
    rig.deliver();
}

void press_refusals_then_press(Rig& rig)
{
    rig.expect(rig.model().set_press_mode(true), "press mode is switched on");
    rig.expect(rig.token().press_mode(), "the token is in press mode");
    rig.token().set_keepalive_during_press(rig.pick(0, 1) == 1);
    rig.token().set_press_wait(sim::Milliseconds(rig.pick(5, 30)));
    for (int i = rig.pick(1, 3); i > 0; --i) {
        rig.tick_and_wait();
        rig.expect_error(kPressText);
    }

    rig.token().set_press_wait(10s);
    const std::size_t before = rig.token().received_commands().size();
    rig.start_tick();
    rig.wait_until([&] { return rig.token().received_commands().size() > before; }, "the token to wait for a press");
    std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(0, 150)));
    rig.token().press_button();
    rig.wait_for_worker();
    rig.expect_code();
    rig.tick_expecting_nothing();

    rig.expect(rig.model().set_press_mode(false), "press mode is switched off");
    rig.expect(!rig.token().press_mode(), "the token is out of press mode");
    rig.token().set_press_wait(kDefaultPressWait);
    rig.token().set_keepalive_during_press(false);
}

void press_switch_refused(Rig& rig)
{
    rig.token().answer_next_command_with(0x6D, 0x00);
    rig.expect(!rig.model().set_press_mode(true), "a refused press-mode switch reports false");
    rig.expect(!rig.token().press_mode(), "the token stays out of press mode");
    rig.deliver();
}

void token_info(Rig& rig)
{
    // The dialog: polls while the text is empty; once known it is shown at once.
    if (rig.model().token_info().isEmpty())
        rig.query_and_wait();
    rig.expect(rig.model().token_info() == Rig::token_info_text(),
               "the token information is shown, got " + rig.model().token_info().toStdString());
    rig.deliver();
}

// The user list needs two reports; when the second does not come in time the query fails and
// the dialog keeps what it showed, and the next poll works.
void expect_failed_query_then_info(Rig& rig, std::chrono::milliseconds late_report_due)
{
    const Rig::Shown before = rig.shown();
    rig.query_and_wait();
    rig.expect_unchanged(before);
    // A report still on its way would be the one a later window's cut report fault cuts.
    std::this_thread::sleep_for(late_report_due);
    rig.query_and_wait();
    rig.expect(rig.model().token_info() == Rig::token_info_text(), "the next poll shows the token information");
    rig.deliver();
}

void missing_continuation(Rig& rig)
{
    rig.token().drop_next_continuation();
    expect_failed_query_then_info(rig, 0ms);
}

void late_continuation(Rig& rig)
{
    // Due 100 ms after the query gave up; the next poll's flush or its read skips it.
    rig.token().delay_next_continuation(2100ms);
    expect_failed_query_then_info(rig, 200ms);
}

void slow_continuation(Rig& rig)
{
    rig.token().delay_next_continuation(sim::Milliseconds(rig.pick(10, 400)));
    rig.query_and_wait();
    rig.expect(rig.model().token_info() == Rig::token_info_text(), "a continuation in time completes the list");
    rig.deliver();
}

void rescan_with_late_probe_answer(Rig& rig)
{
    // A notification for some other device: the token still answers, so nothing changes.
    const sim::Milliseconds late(rig.pick(1, 50));
    rig.token().answer_next_probe_late(late);
    const int shown = rig.models_shown();
    const OtpStatus* model = &rig.model();
    rig.rescan();
    rig.expect(rig.models_shown() == shown && &rig.model() == model, "a rescan keeps a token that answers");
    // Arrived before the next request, as it would in the 600 ms to the next tick.
    std::this_thread::sleep_for(late + 10ms);
    rig.deliver();
}

void second_token_arrives(Rig& rig)
{
    rig.bus().replug(rig.spare_token_id());
    const int shown = rig.models_shown();
    const OtpStatus* model = &rig.model();
    rig.rescan();
    rig.expect(rig.models_shown() == shown && &rig.model() == model, "the token in use is kept");
    rig.bus().unplug(rig.spare_token_id());
    rig.rescan();
    rig.expect(rig.models_shown() == shown && &rig.model() == model, "the token in use is still kept");
    rig.deliver();
}

void channel_busy(Rig& rig)
{
    // Another program's request waits for the button: the token refuses everyone else meanwhile.
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    rig.expect(keys.size() == 1, "another program opens the token");
    std::shared_ptr<U2FUsbKey> other = keys.front();
    rig.token().set_press_mode(true);
    rig.token().set_press_wait(10s);
    const std::size_t before = rig.token().received_commands().size();
    const std::int64_t window_start = static_cast<std::int64_t>(rig.window_counter()) * 30;
    auto other_code = std::async(std::launch::async, [&] {
        std::int32_t digits = 0;
        return other->op_get_otp(Bytes(kActiveSerial.begin(), kActiveSerial.end()), digits, window_start);
    });
    rig.wait_until([&] { return rig.token().received_commands().size() > before; },
                   "the other program's request to wait");
    const Rig::Shown shown = rig.shown();
    rig.tick_and_wait();
    rig.expect_unchanged(shown);
    rig.token().press_button();
    const std::uint32_t code = other_code.get();
    rig.expect(static_cast<int>(code) == rig.expected_code(), "the other program gets the same code");
    rig.token().set_press_mode(false);
    rig.token().set_press_wait(kDefaultPressWait);
    other.reset();
    rig.deliver();
}

void answer_delay(Rig& rig)
{
    rig.token().set_answer_delay(sim::Milliseconds(rig.pick(1, 30)));
    rig.start_tick();
    rig.tick_expecting_nothing();  // the page ticks on while the worker waits
    rig.wait_for_worker();
    rig.token().set_answer_delay(0ms);
    rig.expect_code();
    rig.tick_expecting_nothing();
}

}  // namespace

const std::vector<Fault>& fault_catalogue()
{
    // Faults that wait out the two-second continuation limit are drawn rarely.
    static const std::vector<Fault> catalogue = {
        {"none", 40, no_fault},
        {"unplug", 10, unplug},
        {"unplug before the serial read", 6, unplug_before_serial_read},
        {"unplug mid-exchange", 6, unplug_mid_exchange},
        {"unplugged over the window's end", 6, unplug_over_window_end},
        {"silence", 6, silence},
        {"rescan while silent", 4, rescan_while_silent},
        {"empty report", 4, empty_report},
        {"wrong nonce", 10, wrong_nonce},
        {"foreign INIT answer", 8, foreign_init_answer},
        {"foreign MSG answer", 8, foreign_msg_answer},
        {"stale reports", 6, stale_reports},
        {"status word", 16, status_word},
        {"lying length", 16, length_lie},
        {"length beyond the report", 1, length_lie_beyond_report},
        {"padded answer", 6, padded_answer},
        {"short report", 8, short_report},
        {"short INIT answer", 1, short_init_answer},
        {"refused SELECT", 6, refused_select},
        {"press refusals then a press", 10, press_refusals_then_press},
        {"press-mode switch refused", 4, press_switch_refused},
        {"token info", 6, token_info},
        {"missing continuation", 1, missing_continuation},
        {"late continuation", 1, late_continuation},
        {"slow continuation", 4, slow_continuation},
        {"rescan, late probe answer", 6, rescan_with_late_probe_answer},
        {"second token", 4, second_token_arrives},
        {"channel busy", 4, channel_busy},
        {"answer delay", 6, answer_delay},
    };
    return catalogue;
}
