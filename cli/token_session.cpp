#include "token_session.h"

#include "cli_failure.h"
#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"

#include <easylogging++.h>

#include <thread>
#include <vector>

namespace cli {

namespace {

// A token that refuses at once must not be asked again in a tight loop.
constexpr std::chrono::milliseconds kRetryPause{250};

std::shared_ptr<U2FUsbKey> find_token()
{
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    if (!keys.empty())
        return keys.front();

    hidaccess::hid_device_info* listed = hidaccess::hid_enumerate(kOrvandelVendorId, 0);
    const bool present = listed != nullptr;
    hidaccess::hid_free_enumeration(listed);
    if (present)
        throw CliFailure(kCannotOpen,
                         "The token is plugged in but cannot be opened; run 'larkmoor-cli doctor' to see why.");
    throw CliFailure(kNoToken, "No token found; plug it in, or run 'larkmoor-cli doctor' if it is.");
}

}  // namespace

TokenSession::TokenSession(const Invocation& invocation, Terminal& terminal, const Environment& environment)
    : invocation(invocation), terminal(terminal), token(find_token())
{
    std::optional<KeyWatch::Clock::time_point> deadline;
    if (invocation.timeout_seconds)
        deadline = KeyWatch::Clock::now() + std::chrono::seconds(*invocation.timeout_seconds);
    watch = std::make_unique<KeyWatch>(*token, deadline, environment.button_hint_after, [this] { say_press_once(); });
}

TokenSession::~TokenSession() = default;

void TokenSession::say_press_once()
{
    if (!press_said.exchange(true))
        terminal.write("Waiting for a press of the token's button.");
}

void TokenSession::fail_for_timeout() const
{
    const int seconds = *invocation.timeout_seconds;
    const std::string limit = std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    if (press_said.load())
        throw CliFailure(kRefused, "The token's button was not pressed within " + limit + ".");
    throw CliFailure(kRefused, "The token did not answer within " + limit + ".");
}

void TokenSession::run_pressed(const std::function<void()>& exchange)
{
    for (;;) {
        watch->button_exchange_started();
        try {
            exchange();
            watch->button_exchange_ended();
            return;
        } catch (const KeyNoObjectException&) {
            watch->button_exchange_ended();
            if (expired())
                fail_for_timeout();
            if (!invocation.wait)
                throw CliFailure(kRefused, "The token's button was not pressed in time; try again with --wait.");
        } catch (...) {
            watch->button_exchange_ended();
            fail_for(std::current_exception());
        }
        say_press_once();
        LOG(INFO) << "The token waits for its button, asking again";
        std::this_thread::sleep_for(kRetryPause);
        if (expired())
            fail_for_timeout();
    }
}

void TokenSession::run(const std::function<void()>& exchange)
{
    try {
        exchange();
    } catch (...) {
        fail_for(std::current_exception());
    }
}

void TokenSession::fail_for(std::exception_ptr error) const
{
    try {
        std::rethrow_exception(error);
    } catch (const KeyAccessException& access) {
        if (expired())
            fail_for_timeout();
        throw CliFailure(kCannotOpen, std::string("The token stopped answering (") + access.what() +
                                          "); run 'larkmoor-cli doctor' to see why.");
    } catch (const KeyNoObjectException&) {
        if (expired())
            fail_for_timeout();
        throw CliFailure(kRefused, "The token refused the command: it has no such object.");
    } catch (const KeyException& refusal) {
        if (expired())
            fail_for_timeout();
        throw CliFailure(kRefused, std::string("The token refused the command (") + refusal.what() + ").");
    }
}

}  // namespace cli
