#include "usbkey.h"

#include "key_exception.h"

#include <easylogging++.h>

#include <string>

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kHeaderLengthPosition = 7;
constexpr std::uint8_t kUserRecordTag = 0x52;
// Two reserved bytes, the digit count and the four-byte truncated value.
constexpr std::size_t kCalculateAnswerSize = 7;

}  // namespace

UsbKey::UsbKey(hidaccess::hid_device* handle) : handle(handle)
{
}

UsbKey::~UsbKey()
{
    // Not close(): a virtual call from a destructor would not reach an override anyway.
    hidaccess::hid_close(handle);
}

void UsbKey::combine_send(ProtocolBody& body, Bytes& data, Bytes& code)
{
    Bytes frame;
    body.serialize(frame);

    std::uint8_t header_bytes[kHeaderSize] = {};
    std::uint8_t* header = header_bytes;
    prepare_header(&header);

    Bytes package;
    if (header != nullptr) {
        header[kHeaderLengthPosition] = static_cast<std::uint8_t>(frame.size() % 256);
        package.insert(package.end(), header, header + kHeaderSize);
    }
    package.insert(package.end(), frame.begin(), frame.end());
    LOG(INFO) << "-> Request package hex is ";
    LOG(INFO) << bytes_to_hex(package);

    Bytes response;
    send_command(package.data(), static_cast<std::uint32_t>(package.size()), response);
    LOG(INFO) << "-> Response package hex is ";
    LOG(INFO) << bytes_to_hex(response);

    split_answer(response, header != nullptr, data, code);
    LOG(INFO) << "-> Parsed response:";
    LOG(INFO) << bytes_to_hex(data);
    LOG(INFO) << "-> Response code:";
    LOG(INFO) << bytes_to_hex(code);

    check_resp_code(code);
}

void UsbKey::split_answer(const Bytes& response, bool framed, Bytes& data, Bytes& code)
{
    // The payload (data, then the status word) follows the length that counts it: with the
    // U2F header both bytes of its byte count, else one byte.
    const std::size_t offset = framed ? 6 : 1;
    if (response.size() <= offset)
        THROW_KEY_EXCEPTION(KeyAccessException("Malformed key response: no length byte"));
    const std::size_t length =
        framed ? static_cast<std::size_t>(response[offset - 1]) << 8 | response[offset] : response[offset];
    if (length < 2)
        THROW_KEY_EXCEPTION(KeyAccessException("Malformed key response: no status word"));
    if (response.size() < offset + 1 + length)
        THROW_KEY_EXCEPTION(KeyAccessException("Malformed key response: shorter than its length byte"));

    const auto payload = response.begin() + static_cast<std::ptrdiff_t>(offset + 1);
    const auto status = payload + static_cast<std::ptrdiff_t>(length - 2);
    data.assign(payload, status);
    code.assign(status, status + 2);
}

void UsbKey::prepare_header(std::uint8_t** header)
{
    *header = nullptr;
}

void UsbKey::check_resp_code(const Bytes& code)
{
    for (const auto& [text, word] : resp_code_table) {
        if (word != code)
            continue;
        if (text == "Success") {
            LOG(INFO) << "Instruction Succesfully";
            return;
        }
        if (text == "No such object")
            THROW_KEY_EXCEPTION(KeyNoObjectException(text));
        THROW_KEY_EXCEPTION(KeyException("resp_code exception: " + text));
    }
    if (!code.empty() && code[0] == 0x61)
        THROW_KEY_EXCEPTION(KeyException("resp_code exception: More data available"));
}

void UsbKey::check_write_resp_code(const Bytes& code)
{
    if (code == Bytes{0x90, 0x00})
        return;
    std::string word = bytes_to_hex(code);
    while (!word.empty() && word.back() == ' ')
        word.pop_back();
    THROW_KEY_EXCEPTION(KeyException("resp_code exception: Unknown status word " + word));
}

void UsbKey::op_get_active(Bytes& serial)
{
    ProtocolBody body;
    body.setup_get_active();
    Bytes code;
    combine_send(body, serial, code);
}

void UsbKey::op_get_user_info(std::vector<User>& users)
{
    ProtocolBody body;
    body.setup_list_user_info();
    Bytes data;
    Bytes code;
    combine_send(body, data, code);

    // Record: 52, L, attribute, L - 1 serial bytes.
    std::size_t p = 0;
    while (p < data.size() && data[p] == kUserRecordTag) {
        if (p + 2 >= data.size() || data[p + 1] == 0 || p + 2 + data[p + 1] > data.size()) {
            LOG(ERROR) << "Malformed user record at " << p << ", stop parsing";
            return;
        }
        const std::size_t length = data[p + 1];
        const std::uint8_t attribute = data[p + 2];
        User user;
        user.serial_number.assign(data.begin() + static_cast<std::ptrdiff_t>(p + 3),
                                  data.begin() + static_cast<std::ptrdiff_t>(p + 2 + length));
        user.algorithm = attribute >> 4;
        user.type = attribute & 0x0F;
        LOG(INFO) << "serial_number is: " << std::string(user.serial_number.begin(), user.serial_number.end());
        LOG(INFO) << "Algorithm is: " << user.algorithm;
        LOG(INFO) << "Type is: " << user.type;
        users.push_back(std::move(user));
        p += length + 2;
    }
}

void UsbKey::op_personlization(std::uint8_t param1, std::uint8_t param2, std::uint8_t param3,
                               const Bytes& settings, const Bytes& user)
{
    ProtocolBodyOfPersonlization body;
    body.setup(param1, param2, param3, settings, user);
    Bytes data;
    Bytes code;
    combine_send(body, data, code);
    check_write_resp_code(code);
}

std::uint32_t UsbKey::op_get_otp(const Bytes& serial, std::int32_t& digits, std::optional<std::int64_t> time)
{
    Bytes response;
    cal_hcode(serial, response, time);
    return get_otp(response, digits);
}

void UsbKey::cal_hcode(const Bytes& serial, Bytes& response, std::optional<std::int64_t>)
{
    ProtocolBodyOfCalHcode body;
    body.setup(serial, nullptr);
    Bytes code;
    combine_send(body, response, code);
}

std::uint32_t UsbKey::get_otp(const Bytes& response, std::int32_t& digits)
{
    LOG(INFO) << "In get otp";
    // Any other length is an answer cut short or padded (a lying length byte, say); its last
    // four bytes would pass for a code that the token never gave.
    if (response.size() != kCalculateAnswerSize)
        THROW_KEY_EXCEPTION(KeyException("otp's hcode is wrong"));
    digits = response[2];

    std::uint32_t value = 0;
    for (std::size_t i = 3; i < response.size(); ++i)
        value = (value << 8) + response[i];

    // Beyond nine digits 10^digits exceeds every 32-bit value, so the value is its own remainder.
    if (digits >= 10)
        return value;
    std::uint32_t modulus = 1;
    for (std::int32_t i = 0; i < digits; ++i)
        modulus *= 10;
    return value % modulus;
}

void UsbKey::close()
{
    hidaccess::hid_close(handle);
    handle = nullptr;
}

void UsbKey::switch_press_mode(bool)
{
}

void UsbKey::cancel()
{
    hidaccess::hid_cancel(handle);
}
