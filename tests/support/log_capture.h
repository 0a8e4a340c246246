#pragma once

#include <easylogging++.h>

#include <algorithm>
#include <string>
#include <vector>

// Records every log record's level and text while alive, so tests can check them.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages in order; at one level only, unless it is Unknown.
    std::vector<std::string> messages(el::Level level = el::Level::Unknown) const;
    bool contains(const std::string& message) const
    {
        const std::vector<std::string> texts = messages();
        return std::find(texts.begin(), texts.end(), message) != texts.end();
    }
    void clear();
};
