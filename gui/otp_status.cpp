#include "otp_status.h"

#include "key_exception.h"

#include <easylogging++.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>

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

}  // namespace

OtpStatus::OtpStatus(const std::shared_ptr<UsbKey>& key, QObject* parent)
    : QObject(parent), key(key), clock(system_seconds)
{
}

OtpStatus::~OtpStatus()
{
    if (worker && worker->joinable()) {
        // The worker may wait on a token that never answers; nobody wants its answer now.
        key->cancel();
        worker->join();
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
    // would hold the GUI thread for a whole exchange with the token.
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
        std::lock_guard<std::mutex> lock(mutex);
        body();
        // Still under the mutex: whoever takes it next sees no worker running.
        worker_running.store(false);
    });
}

int OtpStatus::response_time_changed()
{
    const std::int64_t time = clock();
    const std::uint64_t counter = static_cast<std::uint64_t>(time) / static_cast<std::uint64_t>(step_seconds);
    if (counter != static_cast<std::uint64_t>(static_cast<std::int64_t>(last_counter.load())) &&
        ready_for_worker()) {
        // Only this thread starts workers and the last one has been joined, so serial_bytes
        // is not being written while it is looked at.
        if (serial_bytes.empty())
            start_worker([this, counter] {
                update_serial_num();
                // A fresh model goes straight on to its first code instead of waiting a tick.
                if (!serial_bytes.empty())
                    update_otp(counter);
            });
        else
            start_worker([this, counter] { update_otp(counter); });
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
    {
        std::lock_guard<std::mutex> lock(fields_mutex);
        err_msg_text = QString::fromUtf8(text);
    }
    otp_value.store(0);
    emit otp_changed();
}

void OtpStatus::update_serial_num()
{
    LOG(INFO) << "New thread started.";
    try {
        read_serial_num();
    } catch (const KeyNoObjectException&) {
        show_error("Press the key to get the OTP!");
    } catch (const KeyAccessException&) {
        LOG(ERROR) << "Get serial number error";
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
        digits_value.store(digits_read);
        otp_value.store(static_cast<int>(code));
        last_counter.store(static_cast<int>(static_cast<std::uint32_t>(counter)));
        emit otp_changed();
    } catch (const KeyNoObjectException&) {
        show_error("Press the key to get the OTP!");
    } catch (const KeyAccessException&) {
        LOG(ERROR) << "Update otp key access error";
        show_error("Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!");
    } catch (const std::exception&) {
        LOG(ERROR) << "Update otp runtime error";
    }
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
    } catch (const std::exception&) {
        LOG(ERROR) << "Query token info error";
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
    } catch (const std::exception&) {
        LOG(ERROR) << "Failed to set press mode.";
        return false;
    }
}

bool OtpStatus::is_key_connected()
{
    std::lock_guard<std::mutex> lock(mutex);
    return key->is_connected();
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
    otp_value.store(value);
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
