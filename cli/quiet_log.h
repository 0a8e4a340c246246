#pragma once

#include <string>

namespace cli {

// setup_log for a program whose standard output is its result: no log record, and none of the
// library's complaints about the configuration file, reach the terminal.
void setup_quiet_log(const std::string& conf_path);

}  // namespace cli
