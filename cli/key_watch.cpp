#include "key_watch.h"

#include <easylogging++.h>

namespace cli {

KeyWatch::KeyWatch(UsbKey& key, std::optional<Clock::time_point> deadline, Clock::duration button_wait_after,
                   std::function<void()> on_button_wait)
    : key(key), deadline(deadline), button_wait_after(button_wait_after), on_button_wait(std::move(on_button_wait))
{
    thread = std::thread(&KeyWatch::run, this);
}

KeyWatch::~KeyWatch()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void KeyWatch::button_exchange_started()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        button_wait_at = Clock::now() + button_wait_after;
    }
    changed.notify_all();
}

void KeyWatch::button_exchange_ended()
{
    std::lock_guard<std::mutex> lock(mutex);
    button_wait_at.reset();
}

bool KeyWatch::expired() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return has_expired;
}

void KeyWatch::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping && !has_expired) {
        std::optional<Clock::time_point> wake = deadline;
        if (button_wait_at && (!wake || *button_wait_at < *wake))
            wake = button_wait_at;
        if (wake)
            changed.wait_until(lock, *wake);
        else
            changed.wait(lock);
        if (stopping)
            return;

        const Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) {
            has_expired = true;
            LOG(INFO) << "Time limit reached, cancelling the key";
            key.cancel();
        } else if (button_wait_at && now >= *button_wait_at) {
            button_wait_at.reset();
            lock.unlock();
            on_button_wait();
            lock.lock();
        }
    }
}

}  // namespace cli
