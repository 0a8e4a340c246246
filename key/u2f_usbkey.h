#pragma once

#include "usbkey.h"

#include <array>
#include <cstddef>
#include <cstdint>

// ISO 7816-4 SELECT by name of the token's OTP application, sent in MSG before every command.
inline constexpr std::array<std::uint8_t, 14> kSelectApdu = {
    0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01};

// A key that speaks FIDO U2F HID: every request gets a fresh channel (INIT), selects the
// token's application on it (SELECT in MSG), then carries the command in MSG.
class U2FUsbKey : public UsbKey {
public:
    // One input report as read; larger than any report, so a long one is never cut.
    using Report = std::array<std::uint8_t, 256>;

    explicit U2FUsbKey(hidaccess::hid_device* handle);

    void send_command(const std::uint8_t* data, std::uint32_t length, Bytes& response) override;
    void prepare_header(std::uint8_t** header) override;
    void cal_hcode(const Bytes& serial, Bytes& response, std::optional<std::int64_t> time = std::nullopt) override;
    bool is_connected() override;
    void switch_press_mode(bool on) override;

    void allocate_channel(std::uint8_t* channel);
    // SELECT of the OTP application on an allocated channel; response as send_command gives it.
    void send_select(const std::uint8_t* channel, Bytes& response);

private:
    // The next input report, waiting no longer than the deadline; 0 when it passed.
    int read_report(Report& report);
    // Resynchronises the request's channel, so the token drops it, and raises KeyTimeoutException.
    [[noreturn]] void abandon(const std::uint8_t* channel);
    // Both skip what is not this exchange's (another channel, KEEPALIVE) and raise on an
    // ERROR packet on its channel. channel and command are those of the request.
    std::size_t read_first_report(Report& report, const std::uint8_t* channel, std::uint8_t command, int& skipped);
    void read_continuations(Bytes& response, std::size_t expected, const std::uint8_t* channel, std::uint8_t command,
                            int& skipped);
};
