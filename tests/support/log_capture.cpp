#include "log_capture.h"

#include <algorithm>

namespace {

const char* const kCallbackId = "larkmoor-test-capture";

std::mutex store_mutex;
std::vector<LogCapture::Record> store;

class CaptureCallback : public el::LogDispatchCallback {
protected:
    void handle(const el::LogDispatchData* data) noexcept override
    {
        const el::LogMessage* message = data->logMessage();
        std::lock_guard<std::mutex> lock(store_mutex);
        store.push_back({message->level(), message->message(), message->file(),
                         static_cast<int>(message->line()), message->func()});
    }
};

}  // namespace

LogCapture::LogCapture()
{
    clear();
    el::Helpers::installLogDispatchCallback<CaptureCallback>(kCallbackId);
}

LogCapture::~LogCapture()
{
    el::Helpers::uninstallLogDispatchCallback<CaptureCallback>(kCallbackId);
}

std::vector<LogCapture::Record> LogCapture::records() const
{
    std::lock_guard<std::mutex> lock(store_mutex);
    return store;
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> texts;
    for (const Record& record : records())
        texts.push_back(record.message);
    return texts;
}

std::vector<std::string> LogCapture::messages(el::Level level) const
{
    std::vector<std::string> texts;
    for (const Record& record : records())
        if (record.level == level)
            texts.push_back(record.message);
    return texts;
}

bool LogCapture::contains(const std::string& message) const
{
    const std::vector<std::string> texts = messages();
    return std::find(texts.begin(), texts.end(), message) != texts.end();
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(store_mutex);
    store.clear();
}
