#include "key_watch.h"

namespace cli {

KeyWatch::KeyWatch(Clock::duration button_wait_after, std::function<void()> on_button_wait)
    : button_wait_after(button_wait_after), on_button_wait(std::move(on_button_wait))
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

void KeyWatch::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (button_wait_at)
            changed.wait_until(lock, *button_wait_at);
        else
            changed.wait(lock);
        if (stopping)
            return;
        if (button_wait_at && Clock::now() >= *button_wait_at) {
            button_wait_at.reset();
            lock.unlock();
            on_button_wait();
            lock.lock();
        }
    }
}

}  // namespace cli
