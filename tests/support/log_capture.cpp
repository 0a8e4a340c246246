#include "log_capture.h"

#include <mutex>

namespace {

std::mutex store_mutex;
std::vector<std::pair<el::Level, std::string>> store;

class CaptureCallback : public el::LogDispatchCallback {
protected:
    void handle(const el::LogDispatchData* data) noexcept override
    {
        std::lock_guard<std::mutex> lock(store_mutex);
        store.emplace_back(data->logMessage()->level(), data->logMessage()->message());
    }
};

}  // namespace

LogCapture::LogCapture()
{
    clear();
    el::Helpers::installLogDispatchCallback<CaptureCallback>("larkmoor-test-capture");
}

LogCapture::~LogCapture()
{
    el::Helpers::uninstallLogDispatchCallback<CaptureCallback>("larkmoor-test-capture");
}

std::vector<std::string> LogCapture::messages(el::Level level) const
{
    std::lock_guard<std::mutex> lock(store_mutex);
    std::vector<std::string> texts;
    for (const auto& [record_level, message] : store)
        if (level == el::Level::Unknown || record_level == level)
            texts.push_back(message);
    return texts;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(store_mutex);
    store.clear();
}
