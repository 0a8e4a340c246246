#pragma once

#include "exit_code.h"

#include <stdexcept>
#include <string>

namespace cli {

// Ends a command: its text is the one sentence for the error stream.
class CliFailure : public std::runtime_error {
public:
    CliFailure(ExitCode exit_code, const std::string& sentence) : std::runtime_error(sentence), exit_code(exit_code) {}

    const ExitCode exit_code;
};

}  // namespace cli
