#include "token_session.h"

#include "cli_failure.h"
#include "hid.h"
#include "hid_access.h"

#include <easylogging++.h>

#include <algorithm>
#include <thread>

namespace cli {

namespace {

// A token that refuses at once must not be asked again in a tight loop.
constexpr std::chrono::milliseconds kRetryPause{250};

std::shared_ptr<U2FUsbKey> find_token()
{
    if (std::shared_ptr<U2FUsbKey> key = token::find())
        return key;

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
    : invocation(invocation), terminal(terminal), key(find_token())
{
    if (invocation.timeout_seconds)
        deadline = KeyWatch::Clock::now() + std::chrono::seconds(*invocation.timeout_seconds);
    watch = std::make_unique<KeyWatch>(environment.button_hint_after, [this] { say_press_once(); });
}

TokenSession::~TokenSession() = default;

bool TokenSession::expired() const
{
    return deadline && KeyWatch::Clock::now() >= *deadline;
}

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

token::Outcome TokenSession::run_pressed(const Exchange& exchange, token::Deadline own_deadline)
{
    const bool own_first = own_deadline && (!deadline || *own_deadline < *deadline);
    for (;;) {
        watch->button_exchange_started();
        const token::Outcome outcome = exchange(*key, own_first ? own_deadline : deadline);
        watch->button_exchange_ended();
        if (outcome.done() || (outcome.status == token::Status::NoAnswer && own_first))
            return outcome;
        if (outcome.status != token::Status::PressNeeded)
            fail_for(outcome);
        if (expired())
            fail_for_timeout();
        if (!invocation.wait)
            throw CliFailure(kRefused, "The token's button was not pressed in time; try again with --wait.");
        say_press_once();
        LOG(INFO) << "The token waits for its button, asking again";
        std::this_thread::sleep_for(kRetryPause);
        if (expired())
            fail_for_timeout();
    }
}

void TokenSession::run(const Exchange& exchange)
{
    const token::Outcome outcome = exchange(*key, deadline);
    if (!outcome.done())
        fail_for(outcome);
}

void TokenSession::fail_for(const token::Outcome& outcome) const
{
    // Only --timeout's deadline reaches here.
    if (expired() || outcome.status == token::Status::NoAnswer)
        fail_for_timeout();
    switch (outcome.status) {
    case token::Status::Lost:
        throw CliFailure(kCannotOpen, std::string("The token stopped answering (") + outcome.detail +
                                          "); run 'larkmoor-cli doctor' to see why.");
    case token::Status::PressNeeded:
        throw CliFailure(kRefused, "The token refused the command: it has no such object.");
    case token::Status::Busy:
        throw CliFailure(kRefused, "The token is busy with another program's request; try again.");
    default:
        throw CliFailure(kRefused, std::string("The token refused the command (") + outcome.detail + ").");
    }
}

}  // namespace cli
