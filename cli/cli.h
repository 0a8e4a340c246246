#pragma once

#include "environment.h"

#include <QStringList>

#include <ostream>

namespace cli {

// The whole command line program: arguments start with the program name. The command's result
// goes to out, errors and hints to err. Returns the exit code (exit_code.h). The HID seam must be
// installed before.
int run_cli(const QStringList& arguments, std::ostream& out, std::ostream& err,
            const Environment& environment = Environment());

}  // namespace cli
