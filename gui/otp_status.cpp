#include "otp_status.h"

#include "key_exception.h"
#include "token_info_text.h"

#include <easylogging++.h>

#include <QMetaObject>

#include <chrono>
#include <limits>
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
}

OtpStatus::~OtpStatus()
{
    // Before the QObject goes: results the workers post meanwhile are dropped with it.
    workers.reset();
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
    if (rules.tick(now))
        emit otp_changed();
    update_countdown(now);
    if (const std::optional<std::uint64_t> window = rules.wanted_window(now))
        start_code_read(*window);
    const std::int64_t seconds = now / 1000;
    return static_cast<int>(seconds - seconds % step_seconds);
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

void OtpStatus::start_code_read(std::uint64_t window)
{
    const bool started = workers->try_start([this, window, serial = serial_bytes](UsbKey& key) mutable {
        LOG(INFO) << "New thread started.";
        ReadResult result;
        if (serial.empty()) {
            // Into a local first: a refused request must not leave half an answer as the serial.
            Bytes read;
            result.outcome = run_key_request([&] { key.op_get_active(read); });
            if (result.outcome != KeyOutcome::Done) {
                if (result.outcome == KeyOutcome::Lost)
                    LOG(ERROR) << "Get serial number error";
                else if (result.outcome == KeyOutcome::Failed)
                    LOG(ERROR) << "Update otp runtime error";
                result.serial_failed = true;
                post([this, result] { finish_code_read(result); });
                return;
            }
            serial = read;
            result.serial = read;
        }
        result.outcome = run_key_request([&] {
            std::int32_t digits = 0;
            // The window the tick decided on, so the code is always tagged with the right one.
            const std::uint32_t code =
                key.op_get_otp(serial, digits, static_cast<std::int64_t>(window) * step_seconds);
            LOG(INFO) << "value is " << code;
            // A real token truncates to 31 bits; anything larger is a malformed answer.
            if (code > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
                THROW_KEY_EXCEPTION(KeyAccessException("OTP value does not fit: " + std::to_string(code)));
            result.code = {code, digits, window};
        });
        if (result.outcome == KeyOutcome::Lost)
            LOG(ERROR) << "Update otp key access error";
        else if (result.outcome == KeyOutcome::Failed)
            LOG(ERROR) << "Update otp runtime error";
        post([this, result] { finish_code_read(result); });
    });
    if (!started)
        return;
    rules.read_started();
    press_prompt_timer.start();
}

void OtpStatus::store_serial(const Bytes& serial)
{
    serial_bytes = serial;
    set_serial_num(serial_text(serial));
}

void OtpStatus::finish_code_read(const ReadResult& result)
{
    press_prompt_timer.stop();
    if (result.serial)
        store_serial(*result.serial);
    const QString text_before = err_msg();
    const bool code_before = rules.code().has_value();
    switch (result.outcome) {
    case KeyOutcome::Done:
        if (rules.offer(result.code, clock()))
            set_digits(result.code.digits);
        else
            LOG(INFO) << "Code of window " << result.code.window << " came too late to be shown";
        break;
    case KeyOutcome::PressNeeded:
        rules.read_failed(CodeRules::Message::PressPrompt);
        break;
    case KeyOutcome::Lost:
        rules.read_failed(result.serial_failed ? CodeRules::Message::KeyLost : CodeRules::Message::KeyLostRescan);
        break;
    case KeyOutcome::Failed:
        rules.read_ended_silently();
        break;
    }
    update_countdown(clock());
    if (err_msg() != text_before)
        emit err_msg_changed();
    if (rules.code().has_value() || code_before || result.outcome != KeyOutcome::Done)
        emit otp_changed();
    if (result.outcome == KeyOutcome::Lost)
        emit key_lost();
}

void OtpStatus::show_press_prompt()
{
    if (rules.prompt_due())
        emit err_msg_changed();
}

bool OtpStatus::async_query_token_info()
{
    workers->try_start([this, serial = serial_bytes](UsbKey& key) {
        std::optional<Bytes> read;
        std::vector<User> users;
        const KeyOutcome outcome = run_key_request([&] {
            if (serial.empty()) {
                Bytes active;
                key.op_get_active(active);
                read = active;
            }
            key.op_get_user_info(users);
        });
        if (outcome != KeyOutcome::Done)
            LOG(ERROR) << "Query token info error";
        post([this, read, users, lost = outcome == KeyOutcome::Lost] { finish_info_read(read, users, lost); });
    });
    return true;
}

void OtpStatus::finish_info_read(const std::optional<Bytes>& serial, const std::vector<User>& users, bool lost)
{
    if (serial)
        store_serial(*serial);
    if (const std::optional<QString> text = format_token_info(serial_bytes, users))
        set_token_info(*text);
    if (lost)
        emit key_lost();
}

void OtpStatus::request_press_mode(bool on)
{
    if (workers->next_pending()) {
        LOG(INFO) << "Press mode switch already under way; request ignored";
        return;
    }
    const bool started = workers->start_next([this, on](UsbKey& key) {
        const KeyOutcome outcome = run_key_request([&] { key.switch_press_mode(on); });
        if (outcome != KeyOutcome::Done)
            LOG(ERROR) << "Failed to set press mode.";
        post([this, on, outcome] { finish_press_mode(on, outcome); });
    });
    emit press_mode_pending_changed();
    if (!started)
        post([this, on] { finish_press_mode(on, KeyOutcome::Failed); });
}

void OtpStatus::finish_press_mode(bool on, KeyOutcome outcome)
{
    workers->finish_next();
    emit press_mode_pending_changed();
    emit press_mode_finished(on, outcome == KeyOutcome::Done);
    if (outcome == KeyOutcome::Lost)
        emit key_lost();
}

void OtpStatus::check_connection()
{
    workers->try_start([this](UsbKey& key) {
        if (!key.is_connected())
            post([this] { emit key_gone(); });
    });
}

bool OtpStatus::press_mode_pending() const
{
    return workers->next_pending();
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

int OtpStatus::step() const
{
    return step_seconds;
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
