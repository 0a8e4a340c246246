#pragma once

#include "command_line.h"
#include "environment.h"
#include "terminal.h"

#include <string>

namespace cli {

// Each returns what goes to standard output, which the caller writes only on success.
// Failures are thrown as CliFailure.
std::string run_code(const Invocation& invocation, Terminal& terminal, const Environment& environment);
std::string run_info(const Invocation& invocation, Terminal& terminal, const Environment& environment);
std::string run_press_mode(const Invocation& invocation, Terminal& terminal, const Environment& environment);

}  // namespace cli
