#pragma once

#include "terminal.h"

namespace cli {

// Keeps log records off the terminal; with a terminal given, copies each record to it while alive.
class VerboseLog {
public:
    explicit VerboseLog(Terminal* terminal);
    ~VerboseLog();
    VerboseLog(const VerboseLog&) = delete;
    VerboseLog& operator=(const VerboseLog&) = delete;

private:
    bool installed = false;
};

}  // namespace cli
