#include "token.h"

#include "hid.h"
#include "key_exception.h"
#include "otp_window.h"

#include <easylogging++.h>

#include <algorithm>
#include <functional>
#include <limits>

namespace token {

namespace {

// A key's deadline for the length of one call.
class DeadlineScope {
public:
    DeadlineScope(UsbKey& key, Deadline deadline) : key(key) { key.set_deadline(deadline); }
    ~DeadlineScope() { key.set_deadline(std::nullopt); }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

private:
    UsbKey& key;
};

Outcome run(UsbKey& key, Deadline deadline, const std::function<void()>& request)
{
    const DeadlineScope scope(key, deadline);
    try {
        request();
        return {};
    } catch (const KeyNoObjectException& e) {
        return {Status::PressNeeded, e.what()};
    } catch (const KeyBusyException& e) {
        return {Status::Busy, e.what()};
    } catch (const KeyTimeoutException& e) {
        return {Status::NoAnswer, e.what()};
    } catch (const KeyAccessException& e) {
        return {Status::Lost, e.what()};
    } catch (const std::exception& e) {
        return {Status::Refused, e.what()};
    }
}

}  // namespace

std::shared_ptr<U2FUsbKey> find()
{
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    return keys.empty() ? nullptr : keys.front();
}

Read<Bytes> read_serial(UsbKey& key, Deadline deadline)
{
    Read<Bytes> read;
    // Into a local first: a refused request must not leave half an answer as the serial number.
    Bytes serial;
    read.outcome = run(key, deadline, [&] { key.op_get_active(serial); });
    if (read.outcome.done())
        read.value = serial;
    return read;
}

Read<Code> read_code(UsbKey& key, const Bytes& serial, std::int64_t window, Deadline deadline)
{
    Read<Code> read;
    read.outcome = run(key, deadline, [&] {
        std::int32_t digits = 0;
        const std::uint32_t value =
            key.op_get_otp(serial, digits, otp_window::window_start(window) / 1000);
        LOG(INFO) << "value is " << value;
        // A real token truncates to 31 bits; anything larger is a malformed answer.
        if (value > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
            THROW_KEY_EXCEPTION(KeyAccessException("OTP value does not fit: " + std::to_string(value)));
        read.value = {value, digits, window};
    });
    return read;
}

Read<std::vector<User>> read_users(UsbKey& key, Deadline deadline)
{
    Read<std::vector<User>> read;
    read.outcome = run(key, deadline, [&] { key.op_get_user_info(read.value); });
    return read;
}

Outcome switch_press_mode(UsbKey& key, bool on, Deadline deadline)
{
    return run(key, deadline, [&] { key.switch_press_mode(on); });
}

bool is_present(UsbKey& key)
{
    return key.is_connected();
}

std::string code_text(const Code& code)
{
    std::string text = std::to_string(code.value);
    if (code.digits > 0 && text.size() < static_cast<std::size_t>(code.digits))
        text.insert(0, static_cast<std::size_t>(code.digits) - text.size(), '0');
    return text;
}

std::string serial_text(const Bytes& serial)
{
    std::string text;
    for (const std::uint8_t byte : serial) {
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | byte >> 6);
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
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

const User* find_user(const std::vector<User>& users, const Bytes& serial)
{
    const auto found =
        std::find_if(users.begin(), users.end(), [&](const User& user) { return user.serial_number == serial; });
    return found != users.end() ? &*found : nullptr;
}

}  // namespace token
