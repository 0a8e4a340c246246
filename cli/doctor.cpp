#include "doctor.h"

#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"
#include "key_watch.h"
#include "open_failure.h"
#include "token.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace cli {

namespace {

constexpr std::uint16_t kGenericDesktopPage = 0x01;
constexpr std::uint16_t kKeyboardUsage = 0x06;

enum class Kind { Fido, Keyboard, Other };

struct Collection {
    std::string path;
    Kind kind = Kind::Other;
    std::string description;
    std::uint16_t usage_page = 0;  // 0: the platform does not say
    bool tried = false;            // by the token's discovery
};

std::string collections_text(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " HID collection" : " HID collections");
}

std::string hex(unsigned value, int width)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", width, value);
    return text;
}

Kind kind_of(const hidaccess::hid_device_info& info)
{
    if (info.usage_page == kFidoUsagePage)
        return Kind::Fido;
    if (info.usage_page == kGenericDesktopPage && info.usage == kKeyboardUsage)
        return Kind::Keyboard;
    return Kind::Other;
}

std::string describe(const hidaccess::hid_device_info& info, Kind kind)
{
    const char* const name = kind == Kind::Fido ? "FIDO" : kind == Kind::Keyboard ? "keyboard" : "other";
    return info.path + ": " + name + " collection (usage page " + hex(info.usage_page, 4) + ", usage " +
           hex(info.usage, 2) + ", interface " + std::to_string(info.interface_number) + ")";
}

// Lists every HID collection; vendor_collections receives those of the token's vendor.
std::size_t list_collections(std::vector<Collection>& vendor_collections)
{
    std::size_t others = 0;
    hidaccess::hid_device_info* devices = hidaccess::hid_enumerate(0, 0);
    const CollectionChoice choice(devices, kOrvandelVendorId);
    for (const hidaccess::hid_device_info* info = devices; info != nullptr; info = info->next) {
        if (info->vendor_id != kOrvandelVendorId) {
            ++others;
            continue;
        }
        const Kind kind = kind_of(*info);
        vendor_collections.push_back({info->path, kind, describe(*info, kind), info->usage_page, choice.tries(*info)});
    }
    hidaccess::hid_free_enumeration(devices);
    return others;
}

class Doctor {
public:
    explicit Doctor(const Environment& environment) : environment(environment), open_failures(environment) {}

    DoctorReport run()
    {
        std::vector<Collection> collections;
        const std::size_t others = list_collections(collections);
        if (collections.empty()) {
            report_no_collection(others);
            return report;
        }
        report.ok(collections_text(collections.size()) + " of vendor 0x096E listed.");

        std::unique_ptr<U2FUsbKey> key = open_collections(collections);
        if (key && check_token(*key) && report.verdict() == kSuccess)
            report.ok("All checks passed: 'larkmoor-cli code' should show the code.");
        return report;
    }

private:
    void report_no_collection(std::size_t others)
    {
        std::string found =
            "No HID device of vendor 0x096E is listed (" + collections_text(others) + " of other vendors are)";
#ifdef __linux__
        const std::shared_ptr<LinuxSystem> system =
            environment.linux_system ? environment.linux_system : host_linux_system();
        if (system->usb_device_present(kOrvandelVendorId)) {
            report.problem(kNoToken, found + ", yet a USB device of that vendor is on the bus: the usbhid driver "
                                             "does not drive it (see 'dmesg'), or the token is in a mode without HID.");
            return;
        }
#endif
        report.problem(kNoToken, found + ": plug the token in, directly rather than through a hub, or try "
                                         "another port or cable.");
    }

    // Opens every collection the token's discovery would open, as it would; returns a key on
    // the one it would use.
    std::unique_ptr<U2FUsbKey> open_collections(const std::vector<Collection>& collections)
    {
        std::unique_ptr<U2FUsbKey> key;
        const bool fido_listed = std::any_of(collections.begin(), collections.end(),
                                             [](const Collection& collection) { return collection.kind == Kind::Fido; });
        for (const Collection& collection : collections) {
            if (!collection.tried) {
                report.note(collection.description + "; Larkmoor does not need it.");
                continue;
            }
            report.ok(collection.description + ".");

            hidaccess::hid_device* handle = hidaccess::hid_open_path(collection.path.c_str());
            if (handle == nullptr) {
                open_failures.explain(collection.path, report);
                continue;
            }
            report.ok(collection.path + " opens.");
            if (key) {
                hidaccess::hid_close(handle);
                continue;
            }
            key = std::make_unique<U2FUsbKey>(handle);
            report.ok("Larkmoor uses " + collection.path +
                      (fido_listed ? ", the FIDO collection."
                                   : ": no collection says it is the FIDO one, so the first that opens."));
        }
        const bool pages_listed = std::any_of(collections.begin(), collections.end(),
                                              [](const Collection& collection) { return collection.usage_page != 0; });
        if (!fido_listed && pages_listed)
            report.problem(kCannotOpen, "The token lists no FIDO collection (usage page 0xF1D0), the only one "
                                        "Larkmoor talks through: enable the token's FIDO (U2F) interface.");
        return key;
    }

    // Runs one exchange under the doctor's time limit; empty when it went well, else what went wrong.
    std::optional<std::string> exchange(U2FUsbKey& key, const std::function<void()>& step)
    {
        std::optional<std::string> failure;
        key.set_deadline(KeyWatch::Clock::now() + environment.doctor_answer_limit);
        try {
            step();
        } catch (const KeyTimeoutException&) {
            failure = "no answer within " + std::to_string(environment.doctor_answer_limit.count()) + " ms";
        } catch (const KeyException& error) {
            failure = error.what();
        }
        key.set_deadline(std::nullopt);
        return failure;
    }

    bool check_token(U2FUsbKey& key)
    {
        std::array<std::uint8_t, 4> channel{};
        if (const auto failure = exchange(key, [&] { key.allocate_channel(channel.data()); })) {
            report.problem(kRefused, "The FIDO collection does not answer INIT (" + *failure + "): replug the "
                                     "token; if that does not help, close other programs that talk to it.");
            return false;
        }
        report.ok("The FIDO collection answers INIT.");

        Bytes answer;
        Bytes data;
        Bytes status;
        if (const auto failure = exchange(key, [&] {
                key.send_select(channel.data(), answer);
                UsbKey::split_answer(answer, true, data, status);
            })) {
            report.problem(kRefused, "The token does not answer SELECT (" + *failure + "): replug the token.");
            return false;
        }
        if (status != Bytes{0x90, 0x00}) {
            report.problem(kRefused, "The token refuses to select its OTP application (status " +
                                         hex(status[0] << 8 | status[1], 4) +
                                         "): the token may not carry the OTP application; ask its maker.");
            return false;
        }
        report.ok("The token selects its OTP application.");

        Bytes serial;
        if (const auto failure = exchange(key, [&] { key.op_get_active(serial); })) {
            report.problem(kRefused, "The token does not answer get-active (" + *failure + "): replug the token.");
            return false;
        }
        report.ok("The token answers get-active: the active user is " + token::serial_text(serial) + ".");
        return true;
    }

    const Environment& environment;
    OpenFailureExplainer open_failures;
    DoctorReport report;
};

}  // namespace

DoctorReport run_doctor(const Environment& environment)
{
    return Doctor(environment).run();
}

}  // namespace cli
