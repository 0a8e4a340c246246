#pragma once

#include <easylogging++.h>

#include <mutex>
#include <string>
#include <vector>

// Records every log record while alive, so tests can check texts, levels and call sites.
class LogCapture {
public:
    struct Record {
        el::Level level;
        std::string message;
        std::string file;
        int line;
        std::string func;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Record> records() const;
    std::vector<std::string> messages() const;
    // Messages at one level only, in order.
    std::vector<std::string> messages(el::Level level) const;
    bool contains(const std::string& message) const;
    void clear();
};
