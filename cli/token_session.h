#pragma once

#include "command_line.h"
#include "environment.h"
#include "key_watch.h"
#include "terminal.h"
#include "token.h"

#include <atomic>
#include <functional>
#include <memory>

namespace cli {

// The token a command talks to, found as the window finds it, and the rules every exchange
// follows: the time limit, the hint to press the button, the retries of --wait, and the
// translation of outcomes into exit codes. Throws CliFailure.
class TokenSession {
public:
    using Exchange = std::function<token::Outcome(UsbKey& key, token::Deadline deadline)>;

    TokenSession(const Invocation& invocation, Terminal& terminal, const Environment& environment);
    ~TokenSession();
    TokenSession(const TokenSession&) = delete;
    TokenSession& operator=(const TokenSession&) = delete;

    // Runs an exchange in which the token may wait for its button; with --wait it is repeated
    // while the token answers that nobody pressed. Returns its outcome when the exchange came
    // to no answer before its own deadline, earlier than the command's, so the caller may ask again.
    token::Outcome run_pressed(const Exchange& exchange, token::Deadline own_deadline = std::nullopt);
    // Runs an exchange that the button plays no part in.
    void run(const Exchange& exchange);

private:
    bool expired() const;
    void say_press_once();
    [[noreturn]] void fail_for_timeout() const;
    // The CliFailure a failed exchange means.
    [[noreturn]] void fail_for(const token::Outcome& outcome) const;

    const Invocation invocation;
    Terminal& terminal;
    std::shared_ptr<U2FUsbKey> key;
    token::Deadline deadline;  // --timeout's
    std::atomic<bool> press_said{false};
    std::unique_ptr<KeyWatch> watch;  // after key: it stops watching before the key goes
};

}  // namespace cli
