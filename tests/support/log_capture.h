#pragma once

#include <easylogging++.h>

#include <string>
#include <vector>

// Records every log record's level and text while alive, so tests can check them.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> messages() const;
    // Messages at one level only, in order.
    std::vector<std::string> messages(el::Level level) const;
    bool contains(const std::string& message) const;
    void clear();
};
