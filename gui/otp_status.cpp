#include "otp_status.h"

#include "token_info_text.h"

#include <easylogging++.h>

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

std::int64_t system_milliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A token answers within a few hundred milliseconds; longer means it waits for its button.
constexpr int kPressPromptDelayMs = 1000;

}  // namespace

OtpStatus::OtpStatus(const std::shared_ptr<UsbKey>& key, QObject* parent)
    : QObject(parent), clock(system_milliseconds), workers(std::make_unique<KeyWorkers>(key))
{
    press_prompt_timer.setTimerType(Qt::PreciseTimer);
    press_prompt_timer.setSingleShot(true);
    press_prompt_timer.setInterval(kPressPromptDelayMs);
    connect(&press_prompt_timer, &QTimer::timeout, this, &OtpStatus::show_press_prompt);
    hide_timer.setTimerType(Qt::PreciseTimer);
    hide_timer.setSingleShot(true);
    connect(&hide_timer, &QTimer::timeout, this, [this] {
        const std::int64_t now = clock();
        // Early by the model's clock (set back, or a test's): again when the code is due to go.
        if (!drop_expired_code(now))
            arm_hide_timer(now);
    });
    info_prompt_timer.setSingleShot(true);
    info_prompt_timer.setInterval(kPressPromptDelayMs);
    connect(&info_prompt_timer, &QTimer::timeout, this, &OtpStatus::show_info_press_prompt);
}

OtpStatus::~OtpStatus()
{
    const bool switch_pending = workers->next_pending();
    // Before the QObject goes: results the workers post meanwhile are dropped with it.
    workers.reset();
    // Whoever asked hears of it: the token has gone with its model.
    if (switch_pending) {
        LOG(WARNING) << "Press mode switch dropped with the token's model";
        emit press_mode_finished(press_mode_asked, false);
    }
}

void OtpStatus::set_clock(Clock replacement)
{
    clock = std::move(replacement);
}

void OtpStatus::post(std::function<void()> action)
{
    // Through a mailbox under our own lock, not inside Qt's event: the result's hand-over is
    // then visible to the thread sanitizer, which does not see into Qt's locks.
    {
        std::lock_guard<std::mutex> lock(posted_mutex);
        posted.push_back(std::move(action));
    }
    QMetaObject::invokeMethod(this, "run_posted", Qt::QueuedConnection);
}

std::function<void()> OtpStatus::deliver(std::function<void()> action)
{
    return [this, action = std::move(action)] { post(action); };
}

void OtpStatus::run_posted()
{
    std::vector<std::function<void()>> actions;
    {
        std::lock_guard<std::mutex> lock(posted_mutex);
        actions.swap(posted);
    }
    for (const auto& action : actions)
        action();
}

int OtpStatus::response_time_changed()
{
    const std::int64_t now = clock();
    drop_expired_code(now);
    update_countdown(now);
    start_waiting_requests();
    if (const std::optional<std::int64_t> window = rules.wanted_window(now))
        start_code_read(*window);
    return static_cast<int>(otp_window::window_start(otp_window::window_at(now)) / 1000);
}

bool OtpStatus::drop_expired_code(std::int64_t now_ms)
{
    if (!rules.tick(now_ms))
        return false;
    hide_timer.stop();
    emit otp_changed();
    update_countdown(now_ms);
    return true;
}

void OtpStatus::arm_hide_timer(std::int64_t now_ms)
{
    if (const std::optional<std::int64_t> in = rules.hide_in(now_ms))
        hide_timer.start(static_cast<int>(std::min(*in, otp_window::kStepMs)));
    else
        hide_timer.stop();
}

std::optional<OtpStatus::CodeCopy> OtpStatus::code_to_copy()
{
    const std::int64_t now = clock();
    drop_expired_code(now);
    if (!rules.code())
        return std::nullopt;
    return CodeCopy{code_text(), otp_window::window_end(rules.code()->window) - now};
}

void OtpStatus::update_countdown(std::int64_t now_ms)
{
    const int left = CodeRules::seconds_left(now_ms);
    const int next = rules.next_code_in(now_ms);
    if (left == seconds_left_value && next == next_code_in_value)
        return;
    seconds_left_value = left;
    next_code_in_value = next;
    emit countdown_changed();
}

token::Deadline OtpStatus::end_of_window(std::int64_t window) const
{
    const std::int64_t left_ms = otp_window::window_end(window) - clock();
    return UsbKey::Clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(left_ms, 0));
}

void OtpStatus::start_code_read(std::int64_t window)
{
    // An answer after the window's end would be dropped anyway, and the next window's read
    // needs the token.
    const token::Deadline deadline = end_of_window(window);
    const bool started = workers->try_start([this, window, deadline, serial = serial_bytes](UsbKey& key) mutable {
        LOG(INFO) << "New thread started.";
        ReadResult result;
        if (serial.empty()) {
            const token::Read<Bytes> read = token::read_serial(key, deadline);
            result.outcome = read.outcome.status;
            if (!read.outcome.done()) {
                if (result.outcome == token::Status::Lost)
                    LOG(ERROR) << "Get serial number error";
                else
                    LOG(ERROR) << "Update otp runtime error";
                result.serial_failed = true;
                return deliver([this, result] { finish_code_read(result); });
            }
            serial = read.value;
            result.serial = read.value;
        }
        const token::Read<token::Code> read = token::read_code(key, serial, window, deadline);
        result.outcome = read.outcome.status;
        result.code = {read.value.value, read.value.digits, read.value.window};
        if (result.outcome == token::Status::Lost)
            LOG(ERROR) << "Update otp key access error";
        else if (!read.outcome.done() && result.outcome != token::Status::PressNeeded)
            LOG(ERROR) << "Update otp runtime error";
        return deliver([this, result] { finish_code_read(result); });
    });
    if (!started)
        return;
    rules.read_started();
    press_prompt_timer.start();
}

void OtpStatus::store_serial(const Bytes& serial)
{
    serial_bytes = serial;
    set_serial_num(QString::fromStdString(token::serial_text(serial)));
}

void OtpStatus::finish_code_read(const ReadResult& result)
{
    press_prompt_timer.stop();
    if (result.serial)
        store_serial(*result.serial);
    const QString text_before = err_msg();
    const bool code_before = rules.code().has_value();
    switch (result.outcome) {
    case token::Status::Done:
        if (rules.offer(result.code, clock()))
            set_digits(result.code.digits);
        else
            LOG(INFO) << "Code of window " << result.code.window << " came too late to be shown";
        break;
    case token::Status::PressNeeded:
    // Abandoned at the window's end: the token waited for its button all along.
    case token::Status::NoAnswer:
        rules.read_failed(CodeRules::Message::PressPrompt);
        break;
    case token::Status::Lost:
        rules.read_failed(result.serial_failed ? CodeRules::Message::KeyLost : CodeRules::Message::KeyLostRescan);
        break;
    case token::Status::Busy:
    case token::Status::Refused:
        rules.read_ended_silently();
        break;
    }
    arm_hide_timer(clock());
    update_countdown(clock());
    if (err_msg() != text_before)
        emit err_msg_changed();
    if (rules.code().has_value() || code_before || result.outcome != token::Status::Done)
        emit otp_changed();
    if (result.outcome == token::Status::Lost)
        report_lost();
    start_waiting_requests();
    // The window has ended: its successor's read starts now, not at the next tick.
    if (result.outcome == token::Status::NoAnswer)
        response_time_changed();
}

void OtpStatus::show_press_prompt()
{
    if (rules.prompt_due())
        emit err_msg_changed();
}

void OtpStatus::report_lost()
{
    // Its own rescan follows; a check asked for meanwhile would only repeat it.
    check_wanted = false;
    emit key_lost();
}

void OtpStatus::start_waiting_requests()
{
    if (check_wanted)
        check_connection();
    if (info_wanted)
        start_info_read();
}

bool OtpStatus::async_query_token_info()
{
    if (!token_info_text.isEmpty())
        return false;
    if (info_running || info_wanted)
        return true;
    set_info_hint(InfoHint::Reading);
    info_wanted = true;
    start_info_read();
    return true;
}

void OtpStatus::drop_token_info_query()
{
    info_wanted = false;
}

token::Deadline OtpStatus::request_deadline() const
{
    // At least this long for the user to reach the button, so a request asked for near a
    // window's end runs to the end of the next one.
    constexpr std::int64_t kPressTimeMs = 10000;
    const std::int64_t now = clock();
    return end_of_window(otp_window::window_at(now) + (otp_window::ms_left(now) < kPressTimeMs ? 1 : 0));
}

bool OtpStatus::start_info_read()
{
    const token::Deadline deadline = request_deadline();
    const bool started = workers->try_start([this, deadline, serial = serial_bytes](UsbKey& key) {
        std::optional<Bytes> read_serial;
        token::Read<std::vector<User>> users;
        if (serial.empty()) {
            const token::Read<Bytes> read = token::read_serial(key, deadline);
            users.outcome = read.outcome;
            if (read.outcome.done())
                read_serial = read.value;
        }
        if (users.outcome.done())
            users = token::read_users(key, deadline);
        if (!users.outcome.done())
            LOG(ERROR) << "Query token info error";
        return deliver([this, read_serial, users] { finish_info_read(read_serial, users); });
    });
    if (!started)
        return false;
    info_wanted = false;
    info_running = true;
    info_prompt_timer.start();
    return true;
}

void OtpStatus::finish_info_read(const std::optional<Bytes>& serial, const token::Read<std::vector<User>>& users)
{
    info_running = false;
    info_prompt_timer.stop();
    if (serial)
        store_serial(*serial);
    if (users.outcome.done()) {
        if (const std::optional<QString> text = format_token_info(serial_bytes, users.value)) {
            set_token_info(*text);
            set_info_hint(InfoHint::None);
        } else {
            set_info_hint(InfoHint::NoRecord);
        }
    } else {
        const bool unpressed =
            users.outcome.status == token::Status::PressNeeded || users.outcome.status == token::Status::NoAnswer;
        set_info_hint(unpressed ? InfoHint::NotPressed : InfoHint::Failed);
    }
    if (users.outcome.status == token::Status::Lost)
        report_lost();
    start_waiting_requests();
}

void OtpStatus::show_info_press_prompt()
{
    if (info_running)
        set_info_hint(InfoHint::PressPrompt);
}

void OtpStatus::set_info_hint(InfoHint hint)
{
    if (info_hint == hint)
        return;
    info_hint = hint;
    emit token_info_hint_changed();
}

QString OtpStatus::token_info_hint() const
{
    switch (info_hint) {
    case InfoHint::None: return QString();
    case InfoHint::Reading: return tr("Reading the key…");
    case InfoHint::PressPrompt: return tr("If you are in Press Mode, \nthe key requires press to get token info");
    case InfoHint::NotPressed: return tr("The key was not pressed in time.\nOpen Token Info again to retry.");
    case InfoHint::Failed: return tr("Failed to read the key.\nOpen Token Info again to retry.");
    case InfoHint::NoRecord: return tr("The key has no record\nfor its serial number.");
    }
    return QString();
}

void OtpStatus::request_press_mode(bool on)
{
    if (workers->next_pending()) {
        LOG(INFO) << "Press mode switch already under way; request ignored";
        return;
    }
    // Taken once the token is free: a read under way ends by its window's end at the latest.
    press_mode_asked = on;
    const bool started = workers->start_next([this, on](UsbKey& key) {
        // Its bound counts from when it has the token, after the read that may hold it now.
        const token::Outcome outcome = token::switch_press_mode(key, on, request_deadline());
        if (!outcome.done())
            LOG(ERROR) << "Failed to set press mode.";
        return deliver([this, on, status = outcome.status] { finish_press_mode(on, status); });
    });
    emit press_mode_pending_changed();
    if (!started)
        post([this, on] { finish_press_mode(on, token::Status::Refused); });
}

void OtpStatus::finish_press_mode(bool on, token::Status outcome)
{
    workers->finish_next();
    emit press_mode_pending_changed();
    if (outcome == token::Status::Done && press_mode != on) {
        press_mode = on;
        emit press_mode_changed();
    }
    emit press_mode_finished(on, outcome == token::Status::Done);
    if (outcome == token::Status::Lost)
        report_lost();
    start_waiting_requests();
}

void OtpStatus::check_connection()
{
    check_wanted = !workers->try_start([this](UsbKey& key) {
        const bool present = token::is_present(key);
        return deliver([this, present] {
            if (!present)
                emit key_gone();
            else
                start_waiting_requests();
        });
    });
}

bool OtpStatus::press_mode_pending() const
{
    return workers->next_pending();
}

bool OtpStatus::press_mode_known() const
{
    return press_mode.has_value();
}

bool OtpStatus::press_mode_on() const
{
    return press_mode.value_or(false);
}

std::uint64_t OtpStatus::workers_started() const
{
    return workers->started();
}

bool OtpStatus::is_worker_running() const
{
    return workers->worker_busy();
}

QString OtpStatus::serial_num() const
{
    return serial_num_text;
}

void OtpStatus::set_serial_num(const QString& value)
{
    if (serial_num_text == value)
        return;
    serial_num_text = value;
    emit serial_num_changed();
}

int OtpStatus::otp() const
{
    return rules.code() ? static_cast<int>(rules.code()->value) : 0;
}

bool OtpStatus::code_shown() const
{
    return rules.code().has_value();
}

QString OtpStatus::code_text() const
{
    const std::optional<CodeRules::Code>& code = rules.code();
    return code ? QString::fromStdString(token::code_text({code->value, code->digits, code->window})) : QString();
}

int OtpStatus::step() const
{
    return otp_window::kStepSeconds;
}

QString OtpStatus::err_msg() const
{
    switch (rules.message()) {
    case CodeRules::Message::None: return QString();
    case CodeRules::Message::PressPrompt: return tr("Press the key to get the OTP!");
    case CodeRules::Message::KeyLost: return tr("Failed to access the key.\nRe-plug in the key!");
    case CodeRules::Message::KeyLostRescan:
        return tr("Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!");
    }
    return QString();
}

int OtpStatus::digits() const
{
    return digits_value;
}

void OtpStatus::set_digits(int value)
{
    if (digits_value == value)
        return;
    digits_value = value;
    emit digits_changed();
}

QString OtpStatus::token_info() const
{
    return token_info_text;
}

void OtpStatus::set_token_info(const QString& value)
{
    token_info_text = value;
    emit token_info_changed();
}

int OtpStatus::seconds_left() const
{
    return seconds_left_value;
}

int OtpStatus::next_code_in() const
{
    return next_code_in_value;
}
