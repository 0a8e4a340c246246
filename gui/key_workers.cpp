#include "key_workers.h"

#include <easylogging++.h>

#include <system_error>

KeyWorkers::KeyWorkers(std::shared_ptr<UsbKey> key) : key(std::move(key)) {}

KeyWorkers::~KeyWorkers()
{
    // A worker may wait on a token that never answers; nobody wants its answer now.
    if (worker.joinable() || next.joinable())
        key->cancel();
    if (worker.joinable())
        worker.join();
    if (next.joinable())
        next.join();
    key->close();
}

bool KeyWorkers::busy() const
{
    return next_waiting || worker_has_key.load();
}

bool KeyWorkers::try_start(Request request)
{
    // A worker that has started but not yet taken the key would hold the GUI thread for a whole
    // exchange if joined now; a request the user waits for goes first.
    if (busy() || !key_mutex.try_lock())
        return false;
    key_mutex.unlock();
    if (worker.joinable())
        worker.join();
    worker_running.store(true);
    worker_has_key.store(true);
    try {
        worker = std::thread([this, request = std::move(request)] {
            std::function<void()> deliver;
            {
                std::lock_guard<std::mutex> lock(key_mutex);
                deliver = request(*key);
                // Still holding the key: whoever takes it next, when the result arrives, sees
                // it free.
                worker_has_key.store(false);
            }
            deliver();
            worker_running.store(false);
        });
    } catch (const std::system_error& e) {
        LOG(ERROR) << "Failed to start a key worker: " << e.what();
        worker_running.store(false);
        worker_has_key.store(false);
        return false;
    }
    ++count;
    return true;
}

bool KeyWorkers::start_next(Request request)
{
    if (next_waiting)
        return false;
    if (next.joinable())
        next.join();
    try {
        next = std::thread([this, request = std::move(request)] {
            std::function<void()> deliver;
            {
                std::lock_guard<std::mutex> lock(key_mutex);
                deliver = request(*key);
            }
            deliver();
        });
    } catch (const std::system_error& e) {
        LOG(ERROR) << "Failed to start a key worker: " << e.what();
        return false;
    }
    next_waiting = true;
    ++count;
    return true;
}

void KeyWorkers::finish_next()
{
    if (next.joinable())
        next.join();
    next_waiting = false;
}
