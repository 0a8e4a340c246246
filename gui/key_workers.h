#pragma once

#include "usbkey.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs a token's requests one at a time, each on a short-lived thread that holds the key for its
// whole exchange, so the GUI thread never waits for the token. Only the end waits: it cancels
// what still runs, joins and closes the key. Starting and finishing happen on the GUI thread.
class KeyWorkers {
public:
    // Runs while holding the key; what it returns runs once the key is free again, so a result
    // handed on from there finds the workers ready for the next request.
    using Request = std::function<std::function<void()>(UsbKey&)>;

    explicit KeyWorkers(std::shared_ptr<UsbKey> key);
    ~KeyWorkers();
    KeyWorkers(const KeyWorkers&) = delete;
    KeyWorkers& operator=(const KeyWorkers&) = delete;

    // Starts the request unless another runs or waits its turn; never waits. False when not started.
    bool try_start(Request request);
    // Starts a request the user asked for: it takes its turn after a running one, and none starts
    // meanwhile. False when such a request is already under way, or no thread could be made.
    bool start_next(Request request);
    // GUI thread, once start_next's request has delivered its result: joins it (at once).
    void finish_next();

    bool busy() const;
    // Whether a request started by try_start still runs: until its result has been handed on.
    bool worker_busy() const { return worker_running.load(); }
    bool next_pending() const { return next_waiting; }
    std::uint64_t started() const { return count; }

private:
    std::shared_ptr<UsbKey> key;
    std::mutex key_mutex;
    std::thread worker;
    std::atomic<bool> worker_running{false};
    std::atomic<bool> worker_has_key{false};  // from its start until it lets go of the key
    std::thread next;
    bool next_waiting = false;  // GUI thread only
    std::uint64_t count = 0;    // GUI thread only
};
