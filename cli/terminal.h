#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace cli {

// The error stream, shared by the command, the key watch and verbose log records.
class Terminal {
public:
    explicit Terminal(std::ostream& err) : err(err) {}

    // Writes text as it is; a line is ended here when it lacks a line break.
    void write(const std::string& text);

private:
    std::mutex mutex;
    std::ostream& err;
};

}  // namespace cli
