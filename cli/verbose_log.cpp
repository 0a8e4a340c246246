#include "verbose_log.h"

#include <easylogging++.h>

#include <mutex>

namespace cli {

namespace {

const char* const kCallbackId = "larkmoor-cli-verbose";

std::mutex target_mutex;
Terminal* target = nullptr;

class ToTerminal : public el::LogDispatchCallback {
protected:
    void handle(const el::LogDispatchData* data) noexcept override
    {
        const el::LogMessage* message = data->logMessage();
        const std::string line = message->logger()->logBuilder()->build(message, true);
        std::lock_guard<std::mutex> lock(target_mutex);
        if (target != nullptr)
            target->write(line);
    }
};

}  // namespace

VerboseLog::VerboseLog(Terminal* terminal)
{
    // Easylogging++ writes its terminal copy to standard output, which belongs to the command's result.
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
    if (terminal == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(target_mutex);
        target = terminal;
    }
    el::Helpers::installLogDispatchCallback<ToTerminal>(kCallbackId);
    installed = true;
}

VerboseLog::~VerboseLog()
{
    if (!installed)
        return;
    el::Helpers::uninstallLogDispatchCallback<ToTerminal>(kCallbackId);
    std::lock_guard<std::mutex> lock(target_mutex);
    target = nullptr;
}

}  // namespace cli
