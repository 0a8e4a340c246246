#pragma once

#include "command_line.h"
#include "environment.h"
#include "key_watch.h"
#include "terminal.h"
#include "u2f_usbkey.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

namespace cli {

// The token a command talks to, found as the window finds it, and the rules every exchange
// follows: the time limit, the hint to press the button, the retries of --wait, and the
// translation of key errors into exit codes. Throws CliFailure.
class TokenSession {
public:
    TokenSession(const Invocation& invocation, Terminal& terminal, const Environment& environment);
    ~TokenSession();
    TokenSession(const TokenSession&) = delete;
    TokenSession& operator=(const TokenSession&) = delete;

    UsbKey& key() { return *token; }

    // Runs an exchange in which the token may wait for its button; with --wait it is repeated
    // while the token answers that nobody pressed.
    void run_pressed(const std::function<void()>& exchange);
    // Runs an exchange that the button plays no part in.
    void run(const std::function<void()>& exchange);

    // Time limits end a wait between attempts too.
    bool expired() const { return watch->expired(); }

private:
    void say_press_once();
    [[noreturn]] void fail_for_timeout() const;
    // Rethrows a failed exchange's exception as the CliFailure it means.
    [[noreturn]] void fail_for(std::exception_ptr error) const;

    const Invocation invocation;
    Terminal& terminal;
    std::shared_ptr<U2FUsbKey> token;
    std::atomic<bool> press_said{false};
    std::unique_ptr<KeyWatch> watch;  // after token: it stops watching before the key goes
};

}  // namespace cli
