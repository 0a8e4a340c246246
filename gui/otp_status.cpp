#include "otp_status.h"

#include "key_exception.h"

#include <easylogging++.h>

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <system_error>

namespace {

std::int64_t system_seconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString bytes_to_text(const Bytes& bytes)
{
    return QString::fromStdString(std::string(bytes.begin(), bytes.end()));
}

const char* algorithm_name(std::int32_t algorithm)
{
    switch (algorithm) {
    case 1: return "HOTP";
    case 2: return "TOTP";
    default: return "";
    }
}

const char* hash_name(std::int32_t type)
{
    switch (type) {
    case 1: return "SHA-1";
    case 2: return "SHA-256";
    default: return "";
    }
}

const char* const kPressText = "Press the key to get the OTP!";

// A token answers within a few hundred milliseconds; longer means it waits for its button.
constexpr int kPressPromptDelayMs = 1000;

}  // namespace

OtpStatus::OtpStatus(const std::shared_ptr<UsbKey>& key, QObject* parent)
    : QObject(parent), key(key), clock(system_seconds)
{
    press_prompt_timer.setTimerType(Qt::PreciseTimer);
    press_prompt_timer.setSingleShot(true);
    press_prompt_timer.setInterval(kPressPromptDelayMs);
    connect(&press_prompt_timer, &QTimer::timeout, this, &OtpStatus::show_press_prompt);
}

OtpStatus::~OtpStatus()
{
    // Whatever still runs fails from here on and signals nothing.
    closing.store(true);
    if (worker && worker->joinable()) {
        // The worker may wait on a token that never answers; nobody wants its answer now.
        key->cancel();
        worker->join();
    }
    if (press_worker.joinable()) {
        key->cancel();
        press_worker.join();
    }
    key->close();
}

void OtpStatus::set_clock(Clock replacement)
{
    clock = std::move(replacement);
}

bool OtpStatus::ready_for_worker()
{
    // A worker that has started but not yet taken the mutex is still running: joining it
    // would hold the GUI thread for a whole exchange with the token. A pending press-mode
    // switch goes first: it waits for the mutex and must not be starved by ticks.
    if (press_pending)
        return false;
    if (worker_running.load())
        return false;
    if (!mutex.try_lock())
        return false;
    mutex.unlock();
    if (worker && worker->joinable())
        worker->join();
    return true;
}

void OtpStatus::start_worker(std::function<void()> body)
{
    ++worker_count;
    worker_running.store(true);
    worker = std::make_shared<std::thread>([this, body = std::move(body)] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            body();
            // Still under the mutex: whoever takes it next sees no worker running.
            worker_running.store(false);
        }
        // Only now: the controller's probe, which this makes it run, must find the token free.
        if (lost.exchange(false) && !closing.load())
            emit key_lost();
    });
}

int OtpStatus::response_time_changed()
{
    const std::int64_t time = clock();
    const std::uint64_t counter = static_cast<std::uint64_t>(time) / static_cast<std::uint64_t>(step_seconds);
    // A code on screen that is not this window's has expired, whether or not a read starts now.
    if (otp_value.load() != 0)
        clear_code(counter);
    if (counter != static_cast<std::uint64_t>(static_cast<std::int64_t>(last_counter.load())) &&
        ready_for_worker()) {
        // Only this thread starts workers and the last one has been joined, so serial_bytes
        // is not being written while it is looked at.
        if (serial_bytes.empty()) {
            start_worker([this] { update_serial_num(); });
        } else {
            {
                std::lock_guard<std::mutex> lock(fields_mutex);
                read_pending = true;
            }
            press_prompt_timer.start();
            start_worker([this, counter] { update_otp(counter); });
        }
    }
    return static_cast<int>(time - time % step_seconds);
}

void OtpStatus::read_serial_num()
{
    // Into a local first: a refused request must not leave half an answer as our serial.
    Bytes serial;
    key->op_get_active(serial);
    serial_bytes = std::move(serial);
    const QString text = bytes_to_text(serial_bytes);
    if (serial_num() != text) {
        {
            std::lock_guard<std::mutex> lock(fields_mutex);
            serial_num_text = text;
        }
        emit serial_num_changed();
    }
}

void OtpStatus::show_error(const char* text)
{
    const QString message = QString::fromUtf8(text);
    bool message_changed = false;
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        message_changed = err_msg_text != message;
        err_msg_text = message;
        otp_value.store(0);
        read_pending = false;
        prompt_shown = false;
    }
    if (message_changed)
        emit err_msg_changed();
    emit otp_changed();
}

void OtpStatus::clear_code(std::optional<std::uint64_t> current_window)
{
    bool had_code = false;
    bool had_text = false;
    {
        // Under the lock a worker publishes with, so a code that has just arrived for the
        // current window is never taken for an old one.
        std::lock_guard<std::mutex> lock(fields_mutex);
        const auto shown_window = static_cast<std::uint64_t>(static_cast<std::int64_t>(last_counter.load()));
        had_code = otp_value.load() != 0 && !(current_window && *current_window == shown_window);
        if (had_code) {
            // The text behind a shown code is an old error's; shown now it would mislead.
            had_text = !err_msg_text.isEmpty();
            err_msg_text.clear();
            prompt_shown = false;
            otp_value.store(0);
        }
    }
    if (had_text)
        emit err_msg_changed();
    if (had_code)
        emit otp_changed();
}

void OtpStatus::show_press_prompt()
{
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        // The read has published (code or error) or the text says so already.
        if (!read_pending || otp_value.load() != 0 || err_msg_text == QLatin1String(kPressText))
            return;
        err_before_prompt = err_msg_text;
        err_msg_text = QString::fromUtf8(kPressText);
        prompt_shown = true;
    }
    emit err_msg_changed();
}

void OtpStatus::update_serial_num()
{
    LOG(INFO) << "New thread started.";
    try {
        read_serial_num();
    } catch (const KeyNoObjectException&) {
        show_error(kPressText);
    } catch (const KeyAccessException&) {
        LOG(ERROR) << "Get serial number error";
        lost.store(true);
        show_error("Failed to access the key.\nRe-plug in the key!");
    } catch (const std::exception&) {
        LOG(ERROR) << "Update otp runtime error";
    }
}

void OtpStatus::update_otp(std::uint64_t counter)
{
    LOG(INFO) << "New thread started.";
    try {
        std::int32_t digits_read = 0;
        // Ask for the window this tick decided on, so the code and last_counter always agree.
        const auto window_start = static_cast<std::int64_t>(counter) * step_seconds;
        const std::uint32_t code = key->op_get_otp(serial_bytes, digits_read, window_start);
        LOG(INFO) << "value is " << code;
        // A real token truncates to 31 bits; anything larger would show as a negative number.
        if (code > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
            THROW_KEY_EXCEPTION(KeyAccessException("OTP value does not fit: " + std::to_string(code)));
        {
            std::lock_guard<std::mutex> lock(fields_mutex);
            digits_value.store(digits_read);
            otp_value.store(static_cast<int>(code));
            last_counter.store(static_cast<int>(static_cast<std::uint32_t>(counter)));
            read_pending = false;
            prompt_shown = false;
        }
        emit otp_changed();
    } catch (const KeyNoObjectException&) {
        show_error(kPressText);
    } catch (const KeyAccessException&) {
        LOG(ERROR) << "Update otp key access error";
        lost.store(true);
        show_error("Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!");
    } catch (const std::exception&) {
        LOG(ERROR) << "Update otp runtime error";
        end_read_without_text();
    }
}

void OtpStatus::end_read_without_text()
{
    bool restored = false;
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        read_pending = false;
        // The prompt guessed at a press wait that this failure shows was none.
        if (prompt_shown) {
            err_msg_text = err_before_prompt;
            prompt_shown = false;
            restored = true;
        }
    }
    if (restored)
        emit err_msg_changed();
}

bool OtpStatus::query_token_info()
{
    std::lock_guard<std::mutex> lock(mutex);
    return query_token_info_locked();
}

bool OtpStatus::query_token_info_locked()
{
    try {
        if (serial_num().isEmpty())
            read_serial_num();
        users.clear();
        key->op_get_user_info(users);
    } catch (const std::exception& e) {
        LOG(ERROR) << "Query token info error";
        if (dynamic_cast<const KeyAccessException*>(&e) != nullptr)
            lost.store(true);
    }

    const auto user = std::find_if(users.begin(), users.end(),
                                   [this](const User& candidate) { return candidate.serial_number == serial_bytes; });
    if (user == users.end()) {
        LOG(ERROR) << "Failed to find the user";
        return false;
    }
    if (user->algorithm == 1)
        LOG(ERROR) << "HOTP is not supported.";
    const QString text = QStringLiteral("Serial Number: ") + serial_num() + "\n" + "Algorithm: " +
                         algorithm_name(user->algorithm) + "\n" + "Hash: " + hash_name(user->type) + "\n";
    {
        std::lock_guard<std::mutex> fields_lock(fields_mutex);
        token_info_text = text;
    }
    emit token_info_changed();
    return true;
}

bool OtpStatus::async_query_token_info()
{
    if (ready_for_worker())
        start_worker([this] { query_token_info_locked(); });
    return true;
}

bool OtpStatus::set_press_mode(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    try {
        key->switch_press_mode(on);
        return true;
    } catch (const std::exception& e) {
        // The token gone is news for the controller; a refusal concerns only this switch.
        if (dynamic_cast<const KeyAccessException*>(&e) != nullptr)
            lost.store(true);
        LOG(ERROR) << "Failed to set press mode.";
        return false;
    }
}

void OtpStatus::request_press_mode(bool on)
{
    if (press_pending) {
        LOG(INFO) << "Press mode switch already under way; request ignored";
        return;
    }
    if (press_worker.joinable())
        press_worker.join();
    press_pending = true;
    emit press_mode_pending_changed();
    try {
        press_worker = std::thread([this, on] {
            const bool ok = set_press_mode(on);
            if (closing.load())
                return;
            // The result first: a rescan that key_lost causes drops this model and its events.
            // By name: Qt then copies the arguments itself, under its own locks.
            QMetaObject::invokeMethod(this, "finish_press_mode", Qt::QueuedConnection, Q_ARG(bool, on), Q_ARG(bool, ok));
            if (lost.exchange(false))
                emit key_lost();
        });
    } catch (const std::system_error& e) {
        LOG(ERROR) << "Failed to start the press mode switch: " << e.what();
        QMetaObject::invokeMethod(this, "finish_press_mode", Qt::QueuedConnection, Q_ARG(bool, on), Q_ARG(bool, false));
    }
}

void OtpStatus::finish_press_mode(bool on, bool ok)
{
    // The worker has posted this as its last act but one; the join is at once.
    if (press_worker.joinable())
        press_worker.join();
    press_pending = false;
    emit press_mode_pending_changed();
    emit press_mode_finished(on, ok);
}

bool OtpStatus::is_key_connected()
{
    if (press_pending || worker_running.load())
        return true;
    std::unique_lock<std::mutex> lock(mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return true;
    return key->is_connected();
}

bool OtpStatus::press_mode_pending() const
{
    return press_pending;
}

std::uint64_t OtpStatus::workers_started() const
{
    return worker_count;
}

bool OtpStatus::is_worker_running() const
{
    return worker_running.load();
}

QString OtpStatus::serial_num() const
{
    std::lock_guard<std::mutex> lock(fields_mutex);
    return serial_num_text;
}

void OtpStatus::set_serial_num(const QString& value)
{
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        if (serial_num_text == value)
            return;
        serial_num_text = value;
    }
    emit serial_num_changed();
}

int OtpStatus::otp() const
{
    return otp_value.load();
}

void OtpStatus::set_otp(int value)
{
    if (value == 0) {
        clear_code(std::nullopt);
        return;
    }
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        changed = otp_value.exchange(value) != value;
    }
    if (changed)
        emit otp_changed();
}

int OtpStatus::step() const
{
    return step_seconds;
}

QString OtpStatus::err_msg() const
{
    std::lock_guard<std::mutex> lock(fields_mutex);
    return err_msg_text;
}

int OtpStatus::digits() const
{
    return digits_value.load();
}

void OtpStatus::set_digits(int value)
{
    digits_value.store(value);
}

QString OtpStatus::token_info() const
{
    std::lock_guard<std::mutex> lock(fields_mutex);
    return token_info_text;
}

void OtpStatus::set_token_info(const QString& value)
{
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        token_info_text = value;
    }
    emit token_info_changed();
}
